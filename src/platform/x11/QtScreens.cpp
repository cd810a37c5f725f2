#include "platform/x11/QtScreens.h"

#include "platform/x11/X11Workspace.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace {
Screen toScreen(const QScreen* s) { return {QRectF(s->geometry()), QRectF(s->availableGeometry())}; }
} // namespace

QtScreens::QtScreens(std::shared_ptr<X11Workspace> workspace, bool pointerNeedsXWindow)
    : m_workspace(std::move(workspace)), m_pointerNeedsXWindow(pointerNeedsXWindow)
{
}

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
    if (const auto window = focusedWindowFrame())
        if (const QScreen* s = QGuiApplication::screenAt(window->center().toPoint())) return toScreen(s);
    if (const auto mouse = mouseLocation())
        if (const QScreen* s = QGuiApplication::screenAt(mouse->toPoint())) return toScreen(s);
    if (const QScreen* s = QGuiApplication::primaryScreen()) return toScreen(s);
    return std::nullopt;
}

std::optional<QPointF> QtScreens::mouseLocation()
{
    if (m_pointerNeedsXWindow && !(m_workspace && m_workspace->activeWindowFrame())) return std::nullopt;
    return QPointF(QCursor::pos());
}

std::optional<QRectF> QtScreens::focusedWindowFrame()
{
    const auto native = m_workspace ? m_workspace->activeWindowFrame() : std::nullopt;
    if (!native) return std::nullopt;
    return fromDevicePixels(QRectF(*native));
}

QRectF QtScreens::fromDevicePixels(const QRectF& rect)
{
    // Qt keeps each screen's top-left corner in device pixels and scales what lies beyond it.
    const QPointF middle = rect.center();
    for (const QScreen* s : QGuiApplication::screens()) {
        const QRectF g = s->geometry();
        const double ratio = s->devicePixelRatio();
        if (!QRectF(g.topLeft(), g.size() * ratio).contains(middle)) continue;
        return QRectF(g.topLeft() + (rect.topLeft() - g.topLeft()) / ratio, rect.size() / ratio);
    }
    return rect;
}
