#pragma once

#include <QtGlobal>

// A range of UTF-16 code units (location, length), as accessibility APIs count text positions.
struct TextRange {
    qint64 location = 0;
    qint64 length = 0;

    qint64 end() const { return location + length; }
    bool operator==(const TextRange&) const = default;
};

// A process id, as the workspace and the accessibility layer name applications.
using Pid = qint32;

// Modifier flags in the event-flag encoding that the core keeps everywhere (key posting, the
// panel's key table, shortcuts). The X11 layer translates them to and from its own masks.
namespace ModifierFlag {
inline constexpr quint64 capsLock = 0x10000;
inline constexpr quint64 shift = 0x20000;
inline constexpr quint64 control = 0x40000;
inline constexpr quint64 option = 0x80000; // Alt
inline constexpr quint64 command = 0x100000; // Super
// The four that a user holds down on purpose; caps lock is not one of them.
inline constexpr quint64 deviceIndependentMask = 0x1E0000;
} // namespace ModifierFlag

// Virtual key codes are positions on an ANSI keyboard (8 is C wherever the layout puts its C).
namespace KeyCode {
inline constexpr quint16 h = 4;
inline constexpr quint16 c = 8;
inline constexpr quint16 v = 9;
inline constexpr quint16 returnKey = 36;
inline constexpr quint16 tab = 48;
inline constexpr quint16 backspace = 51;
inline constexpr quint16 space = 49;
inline constexpr quint16 escape = 53;
// The Korean keyboard's 한자 and 한/영 keys, at the codes of the keys that share their USB usages
// (LANG2 and LANG1: the Japanese keyboard's 英数 and かな).
inline constexpr quint16 hanja = 102;
inline constexpr quint16 hangul = 104;
inline constexpr quint16 keypadEnter = 76;
inline constexpr quint16 insert = 114; // the Help position of Apple's extended keyboards
inline constexpr quint16 rightArrow = 124;
} // namespace KeyCode

// A key with the modifiers held for it.
struct KeyChord {
    quint16 keyCode = 0;
    quint64 flags = 0;
    bool operator==(const KeyChord&) const = default;
};
