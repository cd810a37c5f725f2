#pragma once

#include "platform/Screens.h"

// The monitors as Qt knows them (Qt follows RandR on X11 and the compositor on Wayland).
class QtScreens : public Screens {
public:
    // Geometry and available geometry, the primary screen first.
    QList<Screen> screens() override;
    // The screen under the pointer: the panel follows the user's attention, and X11 has no
    // notion of a focused screen.
    std::optional<Screen> mainScreen() override;
    QPointF mouseLocation() override;
    // Qt scales each screen around its top-left corner, which keeps its place.
    QRectF fromDevicePixels(const QRectF& rect) override;
};
