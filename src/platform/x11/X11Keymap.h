#pragma once

#include "platform/KeyboardLayout.h"

#include <QHash>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class X11Connection;
union _XEvent;
typedef union _XEvent XEvent;

// The keyboard as the X server maps it now: where the core's ANSI keys are, which modifier Num
// Lock is, and what the letter keys type in the group in force. Follows every change of the
// mapping (setxkbmap, a layout switch, a new keyboard) and tells its listeners.
class X11Keymap : public KeyboardLayout {
public:
    explicit X11Keymap(std::shared_ptr<X11Connection> connection);
    ~X11Keymap() override;

    // The X key code of an ANSI key; absent when this keyboard has no such key.
    std::optional<unsigned char> keycode(quint16 ansiCode);
    // For a letter, the key that types it in the layout (Ctrl+C means the C the layout types: on
    // Dvorak it sits where I is); the key at its position when no key types it (Russian).
    // Other keys as keycode().
    std::optional<unsigned char> keycodeTyping(quint16 ansiCode);
    // The key code of a keysym (modifier keys for posting); absent when no key carries it.
    std::optional<unsigned char> keycodeForKeysym(unsigned long keysym);
    // The modifier mask that Num Lock sets (0 when it is on no modifier).
    unsigned int numLockMask();

    std::optional<QString> keyLabel(quint32 keyCode) override;

    // Called after each change of the mapping, once the tables are fresh.
    int addListener(std::function<void()> listener);
    void removeListener(int id);

private:
    void refresh();
    void onEvent(XEvent& event);

    std::shared_ptr<X11Connection> m_connection;
    int m_handler = 0;
    int m_xkbEventBase = -1;
    std::optional<QHash<QByteArray, unsigned char>> m_byName; // XKB key name → key code, on demand
    std::map<int, std::function<void()>> m_listeners;
    int m_nextListener = 1;
};
