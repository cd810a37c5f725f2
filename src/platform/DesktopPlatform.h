#pragma once

#include "platform/Platform.h"

#include <memory>

// The real desktop's services, assembled into a Platform: AT-SPI text access, X11 hot keys, key
// posting, clipboard, PRIMARY, front application and keyboard layout, Qt's screens, the system
// clock. Needs a QGuiApplication. In a session without X11 it logs once and fills in what works
// there.
//
// Left for the application to fill: panelWindow and ownWindows (its own windows).
namespace DesktopPlatform {
std::shared_ptr<Platform> create();
}
