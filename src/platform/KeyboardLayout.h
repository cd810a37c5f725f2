#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// The keyboard layout in use (on X11 the XKB group in force), for naming keys the way the user
// sees them printed.
class KeyboardLayout {
public:
    virtual ~KeyboardLayout() = default;

    // What the key at that ANSI position types without modifiers in the current layout; absent
    // when the layout puts nothing there or cannot be read.
    virtual std::optional<QString> keyLabel(quint32 keyCode) = 0;
};
