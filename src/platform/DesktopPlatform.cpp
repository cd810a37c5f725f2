#include "platform/DesktopPlatform.h"

#include "platform/atspi/AtspiAccessibility.h"
#include "platform/x11/QtScreens.h"
#include "platform/x11/X11Clipboard.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11HotKeys.h"
#include "platform/x11/X11Keymap.h"
#include "platform/x11/X11Session.h"
#include "platform/x11/X11Workspace.h"
#include "platform/x11/XTestKeyPoster.h"

std::shared_ptr<Platform> DesktopPlatform::create()
{
    X11Session::checkAndLog();
    auto platform = std::make_shared<Platform>();
    platform->clock = std::make_shared<SystemClock>();
    // One connection a service: each follows its own events.
    // Without X each of them answers that it cannot; the clipboard still works through Qt.
    auto input = X11Connection::open();
    auto keymap = input ? std::make_shared<X11Keymap>(input) : nullptr;
    auto workspace = std::make_shared<X11Workspace>(X11Connection::open());
    platform->screens = std::make_shared<QtScreens>(workspace);
    platform->workspace = workspace;
    // AT-SPI reaches native Wayland applications too.
    platform->accessibility = std::make_shared<AtspiAccessibility>(platform->screens, workspace);
    platform->keyboardLayout = keymap;
    platform->hotKeys = std::make_shared<X11HotKeys>(keymap);
    platform->keyPoster = std::make_shared<XTestKeyPoster>(input, keymap, workspace);
    platform->pasteboard = std::make_shared<X11Clipboard>(QClipboard::Clipboard, X11Connection::open());
    if (input) platform->primarySelection = std::make_shared<X11Clipboard>(QClipboard::Selection, X11Connection::open());
    return platform;
}
