#pragma once

#include "platform/Screens.h"

#include <memory>

class X11Workspace;

// The monitors as Qt knows them (Qt follows RandR on X11 and the compositor on Wayland); the
// focused window as the X11 window manager tells it.
class QtScreens : public Screens {
public:
    // Without a workspace no focused window is ever known.
    // pointerNeedsXWindow (a Wayland session): XWayland follows the pointer only over its own
    // windows, so it is known only while one of them has the keyboard.
    explicit QtScreens(std::shared_ptr<X11Workspace> workspace = nullptr, bool pointerNeedsXWindow = false);

    // Geometry and available geometry, the primary screen first.
    QList<Screen> screens() override;
    // The screen holding the middle of the focused window, else the one under the pointer, else
    // the primary one.
    std::optional<Screen> mainScreen() override;
    std::optional<QPointF> mouseLocation() override;
    std::optional<QRectF> focusedWindowFrame() override;
    // Qt scales each screen around its top-left corner, which keeps its place.
    QRectF fromDevicePixels(const QRectF& rect) override;

private:
    std::shared_ptr<X11Workspace> m_workspace;
    bool m_pointerNeedsXWindow = false;
};
