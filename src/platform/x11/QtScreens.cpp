#include "platform/x11/QtScreens.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace {
Screen toScreen(const QScreen* s) { return {QRectF(s->geometry()), QRectF(s->availableGeometry())}; }
} // namespace

QList<Screen> QtScreens::screens()
{
    QList<Screen> list;
    const QScreen* primary = QGuiApplication::primaryScreen();
    if (!primary) return list;
    list << toScreen(primary);
    for (const QScreen* s : QGuiApplication::screens())
        if (s != primary) list << toScreen(s);
    return list;
}

std::optional<Screen> QtScreens::mainScreen()
{
    if (const QScreen* s = QGuiApplication::screenAt(QCursor::pos())) return toScreen(s);
    if (const QScreen* s = QGuiApplication::primaryScreen()) return toScreen(s);
    return std::nullopt;
}

QPointF QtScreens::mouseLocation() { return QCursor::pos(); }

QRectF QtScreens::fromDevicePixels(const QRectF& rect)
{
    const auto device = [](const QScreen* s) {
        return QRectF(s->geometry().topLeft(), QSizeF(s->geometry().size()) * s->devicePixelRatio());
    };
    const QScreen* screen = QGuiApplication::primaryScreen();
    for (const QScreen* s : QGuiApplication::screens())
        if (device(s).contains(rect.center())) screen = s;
    if (!screen) return rect;
    const double ratio = screen->devicePixelRatio();
    const QPointF origin = screen->geometry().topLeft();
    return QRectF(origin + (rect.topLeft() - origin) / ratio, rect.size() / ratio);
}
