#include "core/Shortcut.h"
#include "platform/x11/X11KeyTable.h"

#include <QSet>

#include <gtest/gtest.h>

#include <xkbcommon/xkbcommon.h>

#include "platform/x11/XlibHeaders.h"

using namespace ModifierFlag;

namespace {
// The US keyboard's rows by XKB key name, typed out independently of the table.
const std::pair<const char*, const char*> kRows[] = {
    {"AE", "1234567890-="}, {"AD", "QWERTYUIOP[]"}, {"AC", "ASDFGHJKL;'"}, {"AB", "ZXCVBNM,./"}};

QString usLabelOfKeyName(const char* name)
{
    if (qstrcmp(name, "TLDE") == 0) return QStringLiteral("`");
    if (qstrcmp(name, "BKSL") == 0) return QStringLiteral("\\");
    for (const auto& [row, keys] : kRows) {
        if (qstrncmp(name, row, 2) != 0) continue;
        const int column = QByteArray(name + 2).toInt();
        if (column >= 1 && column <= int(qstrlen(keys))) return QString(QChar(keys[column - 1]));
    }
    return {};
}
} // namespace

// Every key the core can name or send has a place on the X keyboard, and nothing else does.
TEST(X11KeyTable, coversExactlyTheKeysTheCoreNames)
{
    for (quint32 code = 0; code < 256; ++code) {
        // Insert (Shift+Insert pastes PRIMARY in xterm) and the keypad (the panel takes its Enter
        // and hands its other keys on) are used without a name.
        const bool keypad = QSet<quint32>{65, 67, 69, 75, 76, 78, 81, 82, 83, 84, 85, 86, 87, 88, 89, 91, 92}.contains(code);
        const bool needed = !Shortcut::keyName(code).startsWith(u'#') || code == KeyCode::insert || keypad;
        EXPECT_EQ(needed, X11KeyTable::find(quint16(code)).has_value()) << code;
    }
}

// Position keys: the key name is where the US label sits, and the keysym is what it types.
TEST(X11KeyTable, positionKeysAgreeWithTheUsRowsAndTheCoreLabels)
{
    QSet<QByteArray> names;
    for (auto key = X11KeyTable::begin(); key != X11KeyTable::end(); ++key) {
        EXPECT_FALSE(names.contains(key->xkbName)) << key->xkbName;
        names.insert(key->xkbName);
        if (!key->byPosition) continue;
        const QString label = Shortcut::keyName(key->ansiCode);
        EXPECT_EQ(usLabelOfKeyName(key->xkbName), label) << key->ansiCode;
        const char32_t typed = xkb_keysym_to_utf32(xkb_keysym_t(key->keysym));
        EXPECT_EQ(QString::fromUcs4(&typed, 1).toUpper(), label) << key->ansiCode;
    }
}

TEST(X11KeyTable, specialKeysCarryTheirKeysyms)
{
    const std::pair<quint16, unsigned long> expected[] = {
        {KeyCode::returnKey, XK_Return}, {KeyCode::keypadEnter, XK_KP_Enter}, {KeyCode::escape, XK_Escape},
        {KeyCode::space, XK_space},      {KeyCode::rightArrow, XK_Right},     {123, XK_Left},
        {125, XK_Down},                  {126, XK_Up},                        {116, XK_Prior},
        {121, XK_Next},                  {122, XK_F1},                        {120, XK_F2},
        {99, XK_F3},                     {118, XK_F4},                        {96, XK_F5},
        {97, XK_F6},                     {98, XK_F7},                         {100, XK_F8},
        {101, XK_F9},                    {109, XK_F10},                       {103, XK_F11},
        {111, XK_F12},                   {KeyCode::insert, XK_Insert}};
    for (const auto& [code, keysym] : expected) {
        const auto key = X11KeyTable::find(code);
        ASSERT_TRUE(key) << code;
        EXPECT_EQ(key->keysym, keysym) << code;
        EXPECT_FALSE(key->byPosition) << code;
    }
}

TEST(X11KeyTable, modifierMasksMatchTheCoreEncodings)
{
    const quint64 all[] = {shift, control, option, command};
    for (int bits = 0; bits < 16; ++bits) {
        quint64 flags = 0;
        for (int i = 0; i < 4; ++i)
            if (bits & (1 << i)) flags |= all[i];
        const Shortcut s{KeyCode::h, flags};
        EXPECT_EQ(X11KeyTable::maskForHotKeyModifiers(s.carbonModifiers()), X11KeyTable::maskForFlags(flags)) << bits;
        EXPECT_EQ(X11KeyTable::flagsForMask(X11KeyTable::maskForFlags(flags)), flags) << bits;
    }
    EXPECT_EQ(X11KeyTable::maskForFlags(control | option), unsigned(ControlMask | Mod1Mask));
    EXPECT_EQ(X11KeyTable::maskForFlags(command), unsigned(Mod4Mask));
    // Lock modifiers are never reported as held keys, and Caps Lock is never posted.
    EXPECT_EQ(X11KeyTable::flagsForMask(LockMask | Mod2Mask), 0u);
    EXPECT_EQ(X11KeyTable::maskForFlags(capsLock), 0u);
}
