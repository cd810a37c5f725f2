#include "platform/DesktopPlatform.h"

#include "platform/atspi/AtspiAccessibility.h"
#include "platform/wayland/FrontWorkspace.h"
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
    const X11Session session = X11Session::checkAndLog();
    auto platform = std::make_shared<Platform>();
    platform->clock = std::make_shared<SystemClock>();
    // One connection a service: each follows its own events.
    // Without X each of them answers that it cannot; the clipboard still works through Qt.
    auto input = X11Connection::open();
    auto keymap = input ? std::make_shared<X11Keymap>(input) : nullptr;
    auto windows = std::make_shared<X11Workspace>(X11Connection::open());
    // In a Wayland session XWayland knows its own windows only: a native window in front leaves
    // no pointer position, no window frame, and no window for XTEST's keys.
    platform->screens = std::make_shared<QtScreens>(windows, session.wayland);
    // AT-SPI reaches native Wayland applications too.
    auto accessibility = std::make_shared<AtspiAccessibility>(platform->screens, windows);
    accessibility->requireKnownWindow(session.wayland);
    if (session.wayland) accessibility->followSelections();
    platform->accessibility = accessibility;
    std::weak_ptr<AtspiAccessibility> bus = accessibility;
    platform->workspace = std::make_shared<FrontWorkspace>(windows, [bus]() -> std::optional<RunningApplication> {
        const auto ax = bus.lock();
        const auto front = ax ? ax->frontApplication() : std::nullopt;
        if (!front) return std::nullopt;
        return RunningApplication{front->pid, front->name.isEmpty() ? std::nullopt : std::optional(front->name),
                                  std::nullopt};
    });
    platform->keyboardLayout = keymap;
    platform->hotKeys = std::make_shared<X11HotKeys>(keymap);
    platform->keyPoster = std::make_shared<XTestKeyPoster>(input, keymap, windows, session.wayland);
    platform->pasteboard = std::make_shared<X11Clipboard>(QClipboard::Clipboard, X11Connection::open());
    if (input) platform->primarySelection = std::make_shared<X11Clipboard>(QClipboard::Selection, X11Connection::open());
    return platform;
}
