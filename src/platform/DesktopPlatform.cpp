#include "platform/DesktopPlatform.h"

#include "base/Log.h"
#include "base/Resources.h"
#include "platform/atspi/AtspiAccessibility.h"
#include "platform/wayland/PortalShortcuts.h"
#include "platform/wayland/WaylandHotKeys.h"
#include "platform/wayland/FrontWorkspace.h"
#include "platform/x11/QtScreens.h"
#include "platform/x11/X11Clipboard.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11HotKeys.h"
#include "platform/x11/X11Keymap.h"
#include "platform/x11/X11Session.h"
#include "platform/x11/X11Workspace.h"
#include "platform/x11/XTestKeyPoster.h"

#include <QDBusConnection>
#include <QFile>

#include <glib.h>

namespace {

bool isWaylandSession()
{
    return qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// The X grab alone sees only XWayland windows in a Wayland session: there the desktop is asked too.
std::shared_ptr<HotKeyService> hotKeys(std::shared_ptr<X11Keymap> keymap)
{
    auto grab = std::make_shared<X11HotKeys>(std::move(keymap));
    if (!isWaylandSession()) return grab;
    const QDBusConnection bus = QDBusConnection::sessionBus();
    const bool portal = PortalShortcuts::isAvailable(bus);
    const auto route = WaylandHotKeys::detectRoute(portal);
    const char* names[] = {"X 그랩", "GlobalShortcuts 포털", "GNOME 사용자 단축키", "X 그랩만 (XWayland 창)"};
    Log::write(QStringLiteral("Wayland 세션: 단축키 경로 %1").arg(QString::fromUtf8(names[int(route)])));
    gchar* quoted = g_shell_quote(QFile::encodeName(Resources::frontProgram()).constData());
    const QString command = QString::fromLocal8Bit(quoted) + QStringLiteral(" --trigger");
    g_free(quoted);
    return std::make_shared<WaylandHotKeys>(grab, route, portal ? std::make_unique<PortalShortcuts>(bus) : nullptr, command);
}

std::optional<RunningApplication> running(const std::optional<AtspiFront::Application>& front)
{
    if (!front) return std::nullopt;
    return RunningApplication{front->pid, front->name.isEmpty() ? std::nullopt : std::optional(front->name), std::nullopt};
}

} // namespace

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
    platform->workspace = std::make_shared<FrontWorkspace>(
        windows,
        [bus]() -> std::optional<RunningApplication> {
            const auto ax = bus.lock();
            return running(ax ? ax->frontApplication() : std::nullopt);
        },
        [bus]() -> QCoro::Task<std::optional<RunningApplication>> {
            const auto ax = bus.lock();
            if (!ax) co_return std::nullopt;
            auto asking = ax->frontApplicationAsync();
            const std::optional<AtspiFront::Application> front = co_await asking;
            co_return running(front);
        });
    platform->keyboardLayout = keymap;
    platform->hotKeys = hotKeys(keymap);
    platform->keyPoster = std::make_shared<XTestKeyPoster>(input, keymap, windows, session.wayland);
    platform->pasteboard = std::make_shared<X11Clipboard>(QClipboard::Clipboard, X11Connection::open());
    if (input) platform->primarySelection = std::make_shared<X11Clipboard>(QClipboard::Selection, X11Connection::open());
    return platform;
}
