#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>

#include <optional>

// A monitor. Coordinates are global, origin at the top left of the primary screen, y downwards
// (Qt's and X11's convention, and the one accessibility bounds come in).
struct Screen {
    QRectF frame;
    QRectF visibleFrame; // without panels and docks

    bool operator==(const Screen&) const = default;
};

class Screens {
public:
    virtual ~Screens() = default;

    // The primary screen first.
    virtual QList<Screen> screens() = 0;
    // The screen that has the keyboard focus; absent when there is no screen.
    virtual std::optional<Screen> mainScreen() = 0;
    // Absent where the pointer's place cannot be told (it is over a native Wayland window).
    virtual std::optional<QPointF> mouseLocation() = 0;
    // The frame of the window that has the keyboard focus, same coordinates; absent when no
    // window has it or it cannot be told.
    virtual std::optional<QRectF> focusedWindowFrame() = 0;
    // A rectangle in the window system's device pixels, in the coordinates above (which are this
    // program's own: scaled, they are not the pixels other applications' windows are placed in).
    virtual QRectF fromDevicePixels(const QRectF& rect) = 0;
};
