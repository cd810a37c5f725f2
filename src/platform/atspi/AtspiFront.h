#pragma once

#include "platform/Types.h"
#include "platform/atspi/GObjectRef.h"

#include <atspi/atspi.h>

#include <QString>

#include <optional>

// The application in front as the accessibility bus tells it, for where the window system cannot
// (a native Wayland window has the keyboard): the application of the window that reported its
// activation last, while it still says so; else the application whose window is active, the one
// that holds the last focus event first when several claim it (a window that never reported its
// deactivation); else the application of that focus, while it is still focused.
// Each application is asked as little as can be, since a busy one answers slowly: its process
// and name are asked once.
namespace AtspiFront {

struct Application {
    Pid pid = 0;
    QString name; // its accessible name, the program's name for GTK and Qt
};

std::optional<Application> find(AtspiAccessible* lastFocused, AtspiAccessible* lastActivated = nullptr);

// The application an object belongs to, as libatspi knows it from the object's bus name; asked of
// the application (a walk up its parents, a round trip each) only where libatspi does not know it.
GObjectRef<AtspiAccessible> applicationOf(AtspiAccessible* object);

// The process of the application an object belongs to, asked of the bus daemon once per
// application; 0 when it cannot be told.
Pid processOf(AtspiAccessible* object);

} // namespace AtspiFront
