#pragma once

#include <QString>

#include <optional>

// A shortcut (ANSI key code, hot-key modifiers) written as the desktops take one. The key is the
// US layout's keysym for its position, as the X grab uses it.
namespace DesktopShortcutText {

// "<Control><Alt>h", a GTK accelerator as GNOME's settings store it; absent for a key without a name.
std::optional<QString> gnomeAccelerator(quint32 ansiCode, quint32 carbonModifiers);
// "CTRL+ALT+h", the XDG shortcut form the GlobalShortcuts portal takes as a preferred trigger.
std::optional<QString> portalTrigger(quint32 ansiCode, quint32 carbonModifiers);
// Whether two GNOME accelerators name the same combination ("<Primary><Alt>H" is "<Control><Alt>h").
bool sameAccelerator(const QString& a, const QString& b);

} // namespace DesktopShortcutText
