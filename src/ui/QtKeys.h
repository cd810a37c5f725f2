#pragma once

#include <QKeyEvent>

// Qt key events in the core's terms: ANSI virtual key codes (positions) and ModifierFlag flags.
namespace QtKeys {

// Returned for keys that have no ANSI position (media keys and the like).
inline constexpr quint16 unknownKey = 0xFFFF;

// On X11 the hardware key code names the position whatever layout is active; elsewhere (and for
// synthesised events) the Qt key is mapped by the US layout.
quint16 keyCode(const QKeyEvent& event);
quint64 modifierFlags(Qt::KeyboardModifiers modifiers);
// Shift, Control, Alt, Super and friends pressed on their own.
bool isModifierKey(int qtKey);
// The ModifierFlag of a modifier key (0 for other keys).
quint64 flagOfModifierKey(int qtKey);

} // namespace QtKeys
