#pragma once

#include "base/Notifier.h"
#include "core/Shortcut.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

class HotKey;

// The global shortcut in force: validation, persistence in the defaults, and its registration.
class ShortcutCenter {
public:
    static inline const QString& didChange = Notifications::shortcutDidChange;

    static ShortcutCenter& shared();

    // Reads "hotKeyCode" and "hotKeyModifiers"; nothing is registered before activate().
    ShortcutCenter();
    ~ShortcutCenter();

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
