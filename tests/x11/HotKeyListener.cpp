// Holds Ctrl+Alt+K as Sorelwick holds its shortcut, on the display of $DISPLAY (any of its
// screens), until it is ended. Prints "ready" once the key is grabbed and "pressed" at each press.
#include "platform/HotKeyService.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11HotKeys.h"
#include "platform/x11/X11Keymap.h"

#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const auto connection = X11Connection::open();
    if (!connection) return 2;
    X11HotKeys hotKeys(std::make_shared<X11Keymap>(connection));
    hotKeys.installEventHandler([](quint32) {
        std::puts("pressed");
        std::fflush(stdout);
    });
    if (hotKeys.registerHotKey(40, 0x1800, 1).status != HotKeyService::noErr) return 3; // Ctrl+Alt+K
    std::puts("ready");
    std::fflush(stdout);
    return app.exec();
}
