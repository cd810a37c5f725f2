#pragma once

#include "platform/Types.h"

// Synthetic keyboard events. Key codes are ANSI virtual key codes and flags are ModifierFlag
// values; the X11 layer translates both.
class KeyPoster {
public:
    virtual ~KeyPoster() = default;

    // The modifier keys held now on any keyboard of the session (the combined state).
    virtual quint64 combinedModifierFlags() = 0;

    // One key event with exactly these flags, injected system-wide where hardware events enter.
    // A letter is the key that types it in the layout in force (the chords we send mean Ctrl+C,
    // wherever C is). False when the event could not be created.
    virtual bool postKeyEvent(quint16 keyCode, quint64 flags, bool keyDown) = 0;

    // Whether a posted key reaches the window that has the keyboard: XTEST's reach X windows
    // only, and in a Wayland session a native window may have it.
    virtual bool reachesFront() { return true; }

    // A key-down delivered to one process only (typing that arrived while our panel had the keys),
    // the key at the position where it was pressed: nativeKey itself when known, so that keys with
    // no place on a US keyboard (한/영, 한자, the ISO <> key) come back as they were pressed.
    virtual bool postKeyDown(Pid pid, quint16 keyCode, quint64 flags, quint32 nativeKey = 0) = 0;
};
