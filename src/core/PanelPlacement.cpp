#include "core/PanelPlacement.h"

#include <algorithm>

namespace PanelPlacement {
namespace {

// Screens own their left and bottom edges: a selection whose bottom edge lies on the border
// between two stacked screens belongs to the upper one.
bool contains(const QRectF& frame, const QPointF& p)
{
    return p.x() >= frame.left() && p.x() < frame.left() + frame.width() && p.y() > frame.top()
        && p.y() <= frame.top() + frame.height();
}

// The monitor holding most of the window, and that part of it.
std::pair<const Screen*, QRectF> holderOf(const std::optional<QRectF>& window, const QList<Screen>& screens)
{
    const Screen* holder = nullptr;
    QRectF part;
    if (!window) return {holder, part};
    for (const Screen& s : screens) {
        const QRectF p = s.frame.intersected(*window);
        if (p.width() * p.height() > part.width() * part.height()) {
            holder = &s;
            part = p;
        }
    }
    return {holder, part};
}

// The point a mouse-anchored panel opens at.
QPointF mousePoint(const QPointF& mouse, const std::optional<QRectF>& window, const QList<Screen>& screens)
{
    if (!window || window->contains(mouse)) return mouse;
    const auto [holder, part] = holderOf(window, screens);
    if (!holder || contains(holder->frame, mouse)) return mouse;
    return part.center();
}

} // namespace

QPointF origin(const PanelAnchor& anchor, const QSizeF& size, const QList<Screen>& screens,
               const std::optional<Screen>& mainScreen, const std::optional<QPointF>& mouseLocation,
               const std::optional<QRectF>& focusedWindow)
{
    const double w = size.width();
    const double h = size.height();

    if (anchor.kind == PanelAnchor::Kind::mouse && !mouseLocation) {
        const Screen* holder = holderOf(focusedWindow, screens).first;
        const std::optional<Screen> screen = holder ? std::optional(*holder) : mainScreen;
        if (!screen) return QPointF(0, 0);
        const QRectF& v = screen->visibleFrame;
        const double x = std::max(v.left() + (v.width() - w) / 2, v.left());
        const double y = std::max(std::min(v.top() + v.height() / 6, v.top() + v.height() - h), v.top());
        return QPointF(x, y);
    }

    double x, belowY, aboveY;
    QPointF probe;
    if (anchor.kind == PanelAnchor::Kind::mouse) {
        const QPointF mouse = mousePoint(*mouseLocation, focusedWindow, screens);
        x = mouse.x();
        belowY = mouse.y() + mouseGap;
        aboveY = mouse.y() - mouseGap - h;
        probe = mouse;
    } else {
        const QRectF& r = anchor.rect;
        x = r.left();
        belowY = r.top() + r.height() + selectionGap;
        aboveY = r.top() - selectionGap - h;
        probe = QPointF(r.left() + r.width() / 2, r.top() + r.height());
    }

    std::optional<Screen> screen;
    for (const Screen& s : screens) {
        if (contains(s.frame, probe)) {
            screen = s;
            break;
        }
    }
    if (!screen) screen = mainScreen;
    if (!screen) return QPointF(x, belowY);

    const QRectF& v = screen->visibleFrame;
    const double vLeft = v.left(), vTop = v.top();
    const double vRight = v.left() + v.width(), vBottom = v.top() + v.height();
    double y = belowY + h <= vBottom ? belowY : aboveY;

    // Right and top edges win when the panel does not fit.
    x = std::min(std::max(x, vLeft), vRight - w);
    y = std::max(std::min(y, vBottom - h), vTop);
    return QPointF(x, y);
}

QPointF origin(const PanelAnchor& anchor, const QSizeF& size, Screens& screens)
{
    return origin(anchor, size, screens.screens(), screens.mainScreen(), screens.mouseLocation(),
                  screens.focusedWindowFrame());
}

} // namespace PanelPlacement
