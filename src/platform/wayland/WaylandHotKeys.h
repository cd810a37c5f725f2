#pragma once

#include "platform/HotKeyService.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class PortalShortcuts;

// Hot keys in a Wayland session. The X grab (the service given) still takes presses made in
// XWayland windows; native Wayland windows get their keys from the compositor alone, so the
// shortcut is also registered with the desktop: through the GlobalShortcuts portal where the
// desktop offers it, else, on GNOME and only with the user's consent, as a GNOME custom shortcut
// that runs `sorelwick --trigger` (whose presses reach the program through its single-instance
// socket, not through this service). A desktop binding survives the program's end, so a press
// starts it again; it goes when the shortcut is changed, suspended or turned off.
class WaylandHotKeys : public HotKeyService {
public:
    // The command a GNOME custom shortcut runs: this program with --trigger.
    WaylandHotKeys(std::shared_ptr<HotKeyService> grab, DesktopRoute route, std::unique_ptr<PortalShortcuts> portal,
                   QString triggerCommand);
    ~WaylandHotKeys() override;

    // The route this desktop offers: the portal, else GNOME's settings daemon, else none.
    static DesktopRoute detectRoute(bool portalAvailable);

    void installEventHandler(Dispatch dispatch) override;
    Registration registerHotKey(quint32 keyCode, quint32 carbonModifiers, quint32 id) override;
    void unregisterHotKey(quint64 ref) override;
    bool keyHeld() override;
    DesktopRoute desktopRoute() const override { return m_route; }

private:
    struct Entry {
        std::optional<quint64> grabRef;
        quint32 id;
        bool desktop; // the desktop binding is ours to remove
    };
    // Writes the desktop binding, or (GNOME without consent) removes one left from before;
    // the status of the combination.
    qint32 bindOnDesktop(quint32 keyCode, quint32 carbonModifiers);

    std::shared_ptr<HotKeyService> m_grab;
    DesktopRoute m_route;
    std::unique_ptr<PortalShortcuts> m_portal;
    QString m_triggerCommand;
    Dispatch m_dispatch;
    std::map<quint64, Entry> m_entries;
    quint64 m_nextRef = 1;
};
