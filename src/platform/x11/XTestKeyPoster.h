#pragma once

#include "platform/KeyPoster.h"

#include <memory>
#include <optional>

class Workspace;
class X11Connection;
class X11Keymap;

// Synthetic keys through the XTEST extension, on an X connection of its own. A chord goes out as
// the modifier keys pressed, the key pressed and released, the modifiers released in reverse
// order, and one flush, so the receiving application sees what a typist would do.
class XTestKeyPoster : public KeyPoster {
public:
    // keymap must be on connection; without a connection nothing is posted. workspace is the
    // window system's own; with onlyXWindows (a Wayland session) keys go out only while it names
    // a window in front.
    XTestKeyPoster(std::shared_ptr<X11Connection> connection, std::shared_ptr<X11Keymap> keymap,
                   std::shared_ptr<Workspace> workspace, bool onlyXWindows = false);

    // Shift, Control, Alt and Super as held on any keyboard; the lock keys never count.
    quint64 combinedModifierFlags() override;
    bool postKeyEvent(quint16 keyCode, quint64 flags, bool keyDown) override;
    bool reachesFront() override;
    // Posted only while pid is in front, once Qt's own requests (the panel letting the keyboard
    // go) have reached the server. The key is released right after: the user already let go of
    // it, and a key left down in the server would repeat. Modifiers held now are left alone.
    bool postKeyDown(Pid pid, quint16 keyCode, quint64 flags, quint32 nativeKey = 0) override;

private:
    // byMeaning: a letter by what the layout types, else the key at its position.
    bool post(quint16 keyCode, quint64 flags, bool down, bool up, bool byMeaning);
    // The keycode of a key, logged when the keyboard has none.
    std::optional<unsigned char> keycodeOf(quint16 keyCode, bool byMeaning);
    bool postKeycode(unsigned char key, quint64 flags, bool down, bool up);
    bool handBack(unsigned char key, quint64 flags);

    std::shared_ptr<X11Connection> m_connection;
    std::shared_ptr<X11Keymap> m_keymap;
    std::shared_ptr<Workspace> m_workspace;
    bool m_hasXTest = false;
    bool m_onlyXWindows = false;
};
