#pragma once

#include "platform/Types.h"

#include <atspi/atspi.h>

#include <QString>

#include <optional>

// The application in front as the accessibility bus tells it, for where the window system cannot
// (a native Wayland window has the keyboard): the application whose window is active, the one
// that holds the last focus event first when several claim it (a window that never reported its
// deactivation); else the application of that focus, while it is still focused.
namespace AtspiFront {

struct Application {
    Pid pid = 0;
    QString name; // its accessible name, the program's name for GTK and Qt
};

std::optional<Application> find(AtspiAccessible* lastFocused);

} // namespace AtspiFront
