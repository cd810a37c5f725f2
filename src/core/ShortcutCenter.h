#pragma once

#include "base/Notifier.h"
#include "core/Shortcut.h"
#include "platform/Clock.h"
#include "platform/HotKeyService.h"

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
    // Another program holds the shortcut in force (the start-up's retries are over, or it took the
    // combination while a new one was being recorded): a press does nothing until it is changed.
    // "SorelwickShortcutDidChange" is posted when this changes, and when a retry succeeds.
    bool isHeldElsewhere() const { return m_heldElsewhere; }

    // Validates, registers and stores a new shortcut; absent on success, else the message for
    // the user. Posts "SorelwickShortcutDidChange" after every success.
    std::optional<QString> change(const Shortcut& shortcut);
    // Installs the action of a press and registers the current shortcut. A failure is logged and
    // tried again every retryStepMs, retryCount times, then the shortcut counts as held elsewhere.
    void activate(std::function<void()> handler);
    static constexpr qint64 retryStepMs = 250;
    static constexpr int retryCount = 16;
    // How the desktop delivers the shortcut besides the program's own grab (Wayland sessions).
    HotKeyService::DesktopRoute desktopRoute() const;
    // GNOME without the portal: whether the user lets us keep a GNOME custom shortcut. Stores the
    // answer and registers the shortcut again, which writes or removes the desktop's binding;
    // absent on success, else the message for the user.
    bool gnomeShortcutAllowed() const;
    std::optional<QString> allowGnomeShortcut(bool allowed);
    // Stops the shortcut while a new one is being recorded; resume() registers it again.
    void suspend();
    void resume();

private:
    bool registerShortcut(const Shortcut& shortcut, bool quiet = false);
    void retryLater(int left);
    void retry(int left);
    void stopRetrying();
    void setHeldElsewhere(bool held);

    Shortcut m_current;
    std::unique_ptr<HotKey> m_hotKey;
    std::function<void()> m_handler = [] {};
    std::unique_ptr<Clock::Pending> m_retry;
    bool m_heldElsewhere = false;
};
