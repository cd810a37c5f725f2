#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>

// System-wide hot keys (XGrabKey on X11). Key codes are ANSI virtual key codes; modifiers are in
// the classic hot-key encoding (command 0x100, shift 0x200, option 0x800, control 0x1000).
class HotKeyService {
public:
    // Registration statuses.
    static constexpr qint32 noErr = 0;
    static constexpr qint32 eventHotKeyExistsErr = -9878; // another program holds the combination
    static constexpr qint32 eventHotKeyInvalidErr = -9879; // the combination cannot be grabbed

    struct Registration {
        qint32 status = eventHotKeyInvalidErr;
        quint64 ref = 0; // set when status is noErr
    };

    // Called on the main thread with the id given at registration, for every press.
    using Dispatch = std::function<void(quint32 id)>;

    virtual ~HotKeyService() = default;

    // Installs the one handler that receives every press of this process's hot keys.
    virtual void installEventHandler(Dispatch dispatch) = 0;
    virtual Registration registerHotKey(quint32 keyCode, quint32 carbonModifiers, quint32 id) = 0;
    virtual void unregisterHotKey(quint64 ref) = 0;
    // Where the desktop itself delivers the shortcut besides this service's own grab: not needed
    // (X11 sessions: the grab sees every window), through the GlobalShortcuts portal, as a GNOME
    // custom shortcut that runs `sorelwick --trigger`, written only while the user agrees
    // (gnomeShortcutConsentKey), or nowhere (a Wayland desktop with neither: XWayland windows only).
    enum class DesktopRoute { none, portal, gnomeCustomShortcut, grabOnly };
    static inline const QString gnomeShortcutConsentKey = QStringLiteral("gnomeCustomShortcut");
    virtual DesktopRoute desktopRoute() const { return DesktopRoute::none; }

    // Whether the key of a registered hot key is down now. On X11 every key then goes to the hot
    // key's grab, so a synthetic keystroke would reach no application.
    virtual bool keyHeld() = 0;
};
