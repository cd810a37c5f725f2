#pragma once

#include <QtGlobal>

#include <optional>

// Where the core's ANSI key codes sit on an X keyboard. Letters, digits and punctuation are
// found by position (the XKB key name, as printed on a US keyboard: AC01 is A), whatever the
// layout types there; the other keys by the keysym they carry in any layout.
namespace X11KeyTable {

struct Key {
    quint16 ansiCode;
    const char* xkbName; // four characters at most, as the keymap's key names are
    unsigned long keysym; // the US layout's keysym (X11 KeySym)
    bool byPosition; // true: the key name decides; false: the keysym does
};

// The key at that ANSI position; absent for codes the core never names.
std::optional<Key> find(quint16 ansiCode);
// Every key the table knows, for callers that map them all.
const Key* begin();
const Key* end();

// Modifier masks of X (ShiftMask, ControlMask, Mod1Mask, Mod4Mask) for the core's flags.
unsigned int maskForFlags(quint64 modifierFlags);
unsigned int maskForHotKeyModifiers(quint32 carbonModifiers);
// The core's flags for an X modifier state; lock modifiers are left out.
quint64 flagsForMask(unsigned int mask);

} // namespace X11KeyTable
