#include "platform/wayland/WaylandHotKeys.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "platform/wayland/DesktopShortcutText.h"
#include "platform/wayland/GnomeCustomShortcut.h"
#include "platform/wayland/PortalShortcuts.h"

#include <QCoreApplication>

WaylandHotKeys::WaylandHotKeys(std::shared_ptr<HotKeyService> grab, DesktopRoute route,
                               std::unique_ptr<PortalShortcuts> portal, QString triggerCommand)
    : m_grab(std::move(grab))
    , m_route(route == DesktopRoute::portal && !portal ? DesktopRoute::grabOnly : route)
    , m_portal(std::move(portal))
    , m_triggerCommand(std::move(triggerCommand))
{
    if (m_portal)
        QObject::connect(m_portal.get(), &PortalShortcuts::activated, m_portal.get(), [this](const Activation& activation) {
            for (const auto& [ref, entry] : m_entries) {
                if (!entry.desktop || !m_dispatch) continue;
                Activation::setPending(activation);
                m_dispatch(entry.id);
                return;
            }
        });
}

WaylandHotKeys::~WaylandHotKeys() = default;

HotKeyService::DesktopRoute WaylandHotKeys::detectRoute(bool portalAvailable)
{
    if (portalAvailable) return DesktopRoute::portal;
    const QStringList desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'));
    if (desktops.contains(QStringLiteral("GNOME"), Qt::CaseInsensitive) && GnomeCustomShortcut::isAvailable())
        return DesktopRoute::gnomeCustomShortcut;
    return DesktopRoute::grabOnly;
}

void WaylandHotKeys::installEventHandler(Dispatch dispatch)
{
    m_dispatch = dispatch;
    if (m_grab) m_grab->installEventHandler(std::move(dispatch));
}

qint32 WaylandHotKeys::bindOnDesktop(quint32 keyCode, quint32 carbonModifiers)
{
    switch (m_route) {
    case DesktopRoute::none:
    case DesktopRoute::grabOnly:
        return eventHotKeyInvalidErr;
    case DesktopRoute::portal: {
        const std::optional<QString> trigger = DesktopShortcutText::portalTrigger(keyCode, carbonModifiers);
        if (!trigger) return eventHotKeyInvalidErr;
        m_portal->bind(*trigger); // the desktop answers later, perhaps after asking the user
        return noErr;
    }
    case DesktopRoute::gnomeCustomShortcut: {
        const std::optional<QString> binding = DesktopShortcutText::gnomeAccelerator(keyCode, carbonModifiers);
        if (!binding) return eventHotKeyInvalidErr;
        if (!Defaults::shared().boolean(gnomeShortcutConsentKey)) {
            // Only what the user let us write is kept: one left from before goes.
            if (GnomeCustomShortcut::installed()) GnomeCustomShortcut::remove();
            return eventHotKeyInvalidErr;
        }
        if (const std::optional<QString> other = GnomeCustomShortcut::heldBy(*binding)) {
            Log::write(QStringLiteral("GNOME 단축키 %1: 사용자의 단축키 \"%2\"가 이미 씀").arg(*binding, *other));
            return eventHotKeyExistsErr;
        }
        if (GnomeCustomShortcut::installed() == std::pair{*binding, m_triggerCommand}) return noErr;
        return GnomeCustomShortcut::install(*binding, m_triggerCommand) ? noErr : eventHotKeyInvalidErr;
    }
    }
    return eventHotKeyInvalidErr;
}

HotKeyService::Registration WaylandHotKeys::registerHotKey(quint32 keyCode, quint32 carbonModifiers, quint32 id)
{
    const qint32 desktop = bindOnDesktop(keyCode, carbonModifiers);
    if (desktop == eventHotKeyExistsErr) return {desktop, 0};
    const Registration grab = m_grab ? m_grab->registerHotKey(keyCode, carbonModifiers, id) : Registration{};
    // Either way of delivery is enough: the desktop's takes every window, the grab XWayland's.
    if (grab.status != noErr && desktop != noErr) return {grab.status, 0};
    const quint64 ref = m_nextRef++;
    m_entries[ref] = Entry{grab.status == noErr ? std::optional(grab.ref) : std::nullopt, id, desktop == noErr};
    return {noErr, ref};
}

void WaylandHotKeys::unregisterHotKey(quint64 ref)
{
    const auto it = m_entries.find(ref);
    if (it == m_entries.end()) return;
    const Entry entry = it->second;
    m_entries.erase(it);
    if (entry.grabRef) m_grab->unregisterHotKey(*entry.grabRef);
    if (!entry.desktop) return;
    if (m_route == DesktopRoute::portal) {
        m_portal->unbind();
    } else if (m_route == DesktopRoute::gnomeCustomShortcut) {
        // At the program's end the binding stays: a press then starts Sorelwick with the request.
        if (QCoreApplication::instance() && !QCoreApplication::closingDown()) GnomeCustomShortcut::remove();
    }
}

bool WaylandHotKeys::keyHeld() { return m_grab && m_grab->keyHeld(); }
