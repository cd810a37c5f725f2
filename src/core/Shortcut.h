#pragma once

#include "base/Notifier.h"
#include "platform/HotKeyService.h"
#include "platform/Types.h"

#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>

// A key combination: an ANSI virtual key code and modifier flags (only shift, control, option
// and command are ever kept).
struct Shortcut {
    static constexpr quint64 modifierMask = ModifierFlag::deviceIndependentMask;

    quint32 keyCode = KeyCode::h;
    quint64 modifiers = ModifierFlag::control | ModifierFlag::option;

    // Ctrl+Alt+H.
    static Shortcut defaultShortcut() { return {}; }

    // The modifiers in the hot-key service's encoding.
    quint32 carbonModifiers() const;

    // "Ctrl+", "Alt+", "Shift+", "Super+", always in that order; empty for none.
    static QString symbols(quint64 modifiers);
    // The key's name: the special keys by their symbols; letters and digits as the platform's
    // keyboard layout labels them (the US labels when it has none), "#" and the decimal code
    // where that layout has nothing; punctuation by the US labels; anything else as "#" and the code.
    static QString keyName(quint32 keyCode);
    // The display form everywhere (menu, settings, logs): Ctrl+Alt+H.
    QString displayString() const { return symbols(modifiers) + keyName(keyCode); }

    bool operator==(const Shortcut&) const = default;
};

// One combination registered as a system-wide hot key for as long as this object lives.
class HotKey {
public:
    // Identifies our registrations to the hot-key service ("SRWK").
    static constexpr quint32 signature = 0x5352574B;

    // Registers at once; status() tells whether it worked.
    HotKey(const Shortcut& shortcut, std::function<void()> handler);
    ~HotKey();
    HotKey(const HotKey&) = delete;
    HotKey& operator=(const HotKey&) = delete;

    quint32 id() const { return m_id; }
    qint32 status() const { return m_status; }

private:
    static void installHandlerOnce(const std::shared_ptr<HotKeyService>& service);
    static void dispatch(quint32 id);

    std::shared_ptr<HotKeyService> m_service;
    std::optional<quint64> m_ref;
    std::function<void()> m_handler;
    quint32 m_id;
    qint32 m_status = HotKeyService::eventHotKeyInvalidErr;

    // Only registered hot keys, not owned: the owner's reference is the one that counts.
    static std::map<quint32, HotKey*> s_registry;
    static quint32 s_nextId;
    static std::weak_ptr<HotKeyService> s_handlerService;
};

// The global shortcut in force: validation, persistence in the defaults, and its registration.
class ShortcutCenter {
public:
    static inline const QString& didChange = Notifications::shortcutDidChange;

    static ShortcutCenter& shared();

    // Reads "hotKeyCode" and "hotKeyModifiers"; nothing is registered before activate().
    ShortcutCenter();

    Shortcut current() const { return m_current; }
    bool isRegistered() const { return m_hotKey != nullptr; }

    // Validates, registers and stores a new shortcut; absent on success, else the message for
    // the user. Posts "SorelwickShortcutDidChange" after every success.
    std::optional<QString> change(const Shortcut& shortcut);
    // Installs the action of a press and registers the current shortcut (a failure is logged).
    void activate(std::function<void()> handler);
    // Stops the shortcut while a new one is being recorded; resume() registers it again.
    void suspend();
    void resume();

private:
    bool registerShortcut(const Shortcut& shortcut);

    Shortcut m_current;
    std::unique_ptr<HotKey> m_hotKey;
    std::function<void()> m_handler = [] {};
};
