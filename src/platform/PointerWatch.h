#pragma once

#include <functional>

// Mouse-button presses anywhere on the desktop, seen beside the window they go to, which still
// gets them: a click that closes the panel also moves the caret in the application under it.
class PointerWatch {
public:
    virtual ~PointerWatch() = default;
    // Calls `pressed` on the main thread for each press of a button (wheel turns are no presses)
    // until called with an empty handler. False when the desktop reports no such presses.
    virtual bool watch(std::function<void()> pressed) = 0;
};
