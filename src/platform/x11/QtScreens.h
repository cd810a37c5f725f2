#pragma once

#include "platform/Screens.h"

#include <memory>

class X11Workspace;

// The monitors as Qt knows them (Qt follows RandR on X11 and the compositor on Wayland); the
// focused window as the X11 window manager tells it.
class QtScreens : public Screens {
public:
    // Without a workspace no focused window is ever known.
    explicit QtScreens(std::shared_ptr<X11Workspace> workspace = nullptr);

    // Geometry and available geometry, the primary screen first.
    QList<Screen> screens() override;
    // The screen holding the middle of the focused window, else the one under the pointer.
    std::optional<Screen> mainScreen() override;
    QPointF mouseLocation() override;
    std::optional<QRectF> focusedWindowFrame() override;
    // Qt scales each screen around its top-left corner, which keeps its place.
    QRectF fromDevicePixels(const QRectF& rect) override;

private:
    std::shared_ptr<X11Workspace> m_workspace;
};
