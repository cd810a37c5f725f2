#pragma once

#include "platform/Types.h"

#include <QString>

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
