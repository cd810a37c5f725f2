#include "ui/QtKeys.h"

#include "platform/Types.h"

#include <QGuiApplication>
#include <QHash>

namespace {

// X11 key codes (evdev + 8) of the standard PC keyboard → ANSI virtual key codes.
const QHash<quint32, quint16>& x11Positions()
{
    static const QHash<quint32, quint16> table{
        {9, 53},   {10, 18},  {11, 19},  {12, 20},  {13, 21},  {14, 23},  {15, 22},  {16, 26},  {17, 28},
        {18, 25},  {19, 29},  {20, 27},  {21, 24},  {22, 51},  {23, 48},  {24, 12},  {25, 13},  {26, 14},
        {27, 15},  {28, 17},  {29, 16},  {30, 32},  {31, 34},  {32, 31},  {33, 35},  {34, 33},  {35, 30},
        {36, 36},  {38, 0},   {39, 1},   {40, 2},   {41, 3},   {42, 5},   {43, 4},   {44, 38},  {45, 40},
        {46, 37},  {47, 41},  {48, 39},  {49, 50},  {51, 42},  {52, 6},   {53, 7},   {54, 8},   {55, 9},
        {56, 11},  {57, 45},  {58, 46},  {59, 43},  {60, 47},  {61, 44},  {63, 67},  {65, 49},  {67, 122},
        {68, 120}, {69, 99},  {70, 118}, {71, 96},  {72, 97},  {73, 98},  {74, 100}, {75, 101}, {76, 109},
        {79, 89},  {80, 91},  {81, 92},  {82, 78},  {83, 86},  {84, 87},  {85, 88},  {86, 69},  {87, 83},
        {88, 84},  {89, 85},  {90, 82},  {91, 65},  {95, 103}, {96, 111}, {104, 76}, {106, 75}, {110, 115},
        {111, 126}, {112, 116}, {113, 123}, {114, 124}, {115, 119}, {116, 125}, {117, 121}, {118, 114},
        {119, 117}, {130, 104}, {131, 102},
    };
    return table;
}

// Qt keys → ANSI positions, by the US layout (shifted symbols included).
const QHash<int, quint16>& qtKeys()
{
    static const QHash<int, quint16> table = [] {
        QHash<int, quint16> t{
            {Qt::Key_Return, 36},     {Qt::Key_Tab, 48},       {Qt::Key_Backtab, 48},    {Qt::Key_Space, 49},
            {Qt::Key_Backspace, 51},  {Qt::Key_Escape, 53},    {Qt::Key_Delete, 117},    {Qt::Key_Insert, 114},
            {Qt::Key_Home, 115},      {Qt::Key_End, 119},      {Qt::Key_PageUp, 116},    {Qt::Key_PageDown, 121},
            {Qt::Key_Left, 123},      {Qt::Key_Right, 124},    {Qt::Key_Down, 125},      {Qt::Key_Up, 126},
            {Qt::Key_F1, 122},        {Qt::Key_F2, 120},       {Qt::Key_F3, 99},         {Qt::Key_F4, 118},
            {Qt::Key_F5, 96},         {Qt::Key_F6, 97},        {Qt::Key_F7, 98},         {Qt::Key_F8, 100},
            {Qt::Key_F9, 101},        {Qt::Key_F10, 109},      {Qt::Key_F11, 103},       {Qt::Key_F12, 111},
            {Qt::Key_Minus, 27},      {Qt::Key_Underscore, 27}, {Qt::Key_Equal, 24},     {Qt::Key_Plus, 24},
            {Qt::Key_BracketLeft, 33}, {Qt::Key_BraceLeft, 33}, {Qt::Key_BracketRight, 30}, {Qt::Key_BraceRight, 30},
            {Qt::Key_Backslash, 42},  {Qt::Key_Bar, 42},       {Qt::Key_Semicolon, 41},  {Qt::Key_Colon, 41},
            {Qt::Key_Apostrophe, 39}, {Qt::Key_QuoteDbl, 39},  {Qt::Key_Comma, 43},      {Qt::Key_Less, 43},
            {Qt::Key_Period, 47},     {Qt::Key_Greater, 47},   {Qt::Key_Slash, 44},      {Qt::Key_Question, 44},
            {Qt::Key_QuoteLeft, 50},  {Qt::Key_AsciiTilde, 50},
            {Qt::Key_Exclam, 18},     {Qt::Key_At, 19},        {Qt::Key_NumberSign, 20}, {Qt::Key_Dollar, 21},
            {Qt::Key_Percent, 23},    {Qt::Key_AsciiCircum, 22}, {Qt::Key_Ampersand, 26}, {Qt::Key_Asterisk, 28},
            {Qt::Key_ParenLeft, 25},  {Qt::Key_ParenRight, 29},
            {Qt::Key_Hangul_Hanja, KeyCode::hanja}, {Qt::Key_Hangul, KeyCode::hangul},
        };
        const quint16 digits[10] = {29, 18, 19, 20, 21, 23, 22, 26, 28, 25};
        for (int d = 0; d < 10; ++d) t.insert(Qt::Key_0 + d, digits[d]);
        const quint16 letters[26] = {0,  11, 8,  2,  14, 3,  5,  4,  34, 38, 40, 37, 46,
                                     45, 31, 35, 12, 15, 1,  17, 32, 9,  13, 7,  16, 6};
        for (int l = 0; l < 26; ++l) t.insert(Qt::Key_A + l, letters[l]);
        return t;
    }();
    return table;
}

// The numeric keypad: its Enter and digits have positions of their own.
quint16 keypadKey(int key)
{
    static const quint16 digits[10] = {82, 83, 84, 85, 86, 87, 88, 89, 91, 92};
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return digits[key - Qt::Key_0];
    switch (key) {
    case Qt::Key_Enter: return 76;
    case Qt::Key_Period: return 65;
    case Qt::Key_Asterisk: return 67;
    case Qt::Key_Plus: return 69;
    case Qt::Key_Slash: return 75;
    case Qt::Key_Minus: return 78;
    case Qt::Key_Equal: return 81;
    default: return QtKeys::unknownKey;
    }
}

} // namespace

namespace QtKeys {

quint16 keyCode(const QKeyEvent& event)
{
    if (event.nativeScanCode() != 0 && QGuiApplication::platformName() == QLatin1String("xcb")) {
        const auto it = x11Positions().constFind(event.nativeScanCode());
        if (it != x11Positions().constEnd()) return *it;
    }
    const int key = event.key();
    if (key == Qt::Key_Enter || (event.modifiers() & Qt::KeypadModifier)) return keypadKey(key);
    return qtKeys().value(key, unknownKey);
}

quint64 modifierFlags(Qt::KeyboardModifiers modifiers)
{
    quint64 flags = 0;
    if (modifiers & Qt::ShiftModifier) flags |= ModifierFlag::shift;
    if (modifiers & Qt::ControlModifier) flags |= ModifierFlag::control;
    if (modifiers & Qt::AltModifier) flags |= ModifierFlag::option;
    if (modifiers & Qt::MetaModifier) flags |= ModifierFlag::command;
    return flags;
}

quint64 flagOfModifierKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Shift: return ModifierFlag::shift;
    case Qt::Key_Control: return ModifierFlag::control;
    case Qt::Key_Alt:
    case Qt::Key_AltGr: return ModifierFlag::option;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R: return ModifierFlag::command;
    default: return 0;
    }
}

bool isModifierKey(int qtKey)
{
    return flagOfModifierKey(qtKey) != 0 || qtKey == Qt::Key_CapsLock || qtKey == Qt::Key_Hyper_L
        || qtKey == Qt::Key_Hyper_R || qtKey == Qt::Key_NumLock;
}

} // namespace QtKeys
