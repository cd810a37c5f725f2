#include "core/Shortcut.h"

#include "platform/Platform.h"

#include <QHash>

#include <iterator>

namespace {

const QHash<quint32, QString>& specialKeys()
{
    static const QHash<quint32, QString> table{
        {49, QStringLiteral("Space")}, {36, QStringLiteral("↩")},   {48, QStringLiteral("⇥")},
        {51, QStringLiteral("⌫")},     {117, QStringLiteral("⌦")},  {53, QStringLiteral("⎋")},
        {123, QStringLiteral("←")},    {124, QStringLiteral("→")},  {126, QStringLiteral("↑")},
        {125, QStringLiteral("↓")},    {115, QStringLiteral("↖")},  {119, QStringLiteral("↘")},
        {116, QStringLiteral("⇞")},    {121, QStringLiteral("⇟")},  {122, QStringLiteral("F1")},
        {120, QStringLiteral("F2")},   {99, QStringLiteral("F3")},  {118, QStringLiteral("F4")},
        {96, QStringLiteral("F5")},    {97, QStringLiteral("F6")},  {98, QStringLiteral("F7")},
        {100, QStringLiteral("F8")},   {101, QStringLiteral("F9")}, {109, QStringLiteral("F10")},
        {103, QStringLiteral("F11")},  {111, QStringLiteral("F12")}, {102, QStringLiteral("한자")},
        {104, QStringLiteral("한/영")},
    };
    return table;
}

// The labels of the US layout's character keys by position. Names follow the key's position,
// as the shortcut itself does, whatever layout is active.
const QHash<quint32, QString>& ansiKeys()
{
    static const QHash<quint32, QString> table = [] {
        const char* const labels[] = {
            "A", "S", "D", "F", "H", "G", "Z", "X", "C", "V", nullptr, "B", "Q", "W", "E", "R",
            "Y", "T", "1", "2", "3", "4", "6", "5", "=", "9", "7", "-", "8", "0", "]", "O",
            "U", "[", "I", "P", nullptr, "L", "J", "'", "K", ";", "\\", ",", "/", "N", "M", ".",
            nullptr, nullptr, "`"};
        QHash<quint32, QString> t;
        for (quint32 code = 0; code < std::size(labels); ++code)
            if (labels[code]) t.insert(code, QString::fromLatin1(labels[code]));
        return t;
    }();
    return table;
}

} // namespace

quint32 Shortcut::carbonModifiers() const
{
    quint32 bits = 0;
    if (modifiers & ModifierFlag::command) bits |= 0x100;
    if (modifiers & ModifierFlag::shift) bits |= 0x200;
    if (modifiers & ModifierFlag::option) bits |= 0x800;
    if (modifiers & ModifierFlag::control) bits |= 0x1000;
    return bits;
}

QString Shortcut::symbols(quint64 modifiers)
{
    QString s;
    if (modifiers & ModifierFlag::control) s += QStringLiteral("Ctrl+");
    if (modifiers & ModifierFlag::option) s += QStringLiteral("Alt+");
    if (modifiers & ModifierFlag::shift) s += QStringLiteral("Shift+");
    if (modifiers & ModifierFlag::command) s += QStringLiteral("Super+");
    return s;
}

QString Shortcut::keyName(quint32 keyCode)
{
    if (const auto it = specialKeys().constFind(keyCode); it != specialKeys().constEnd()) return *it;
    const auto it = ansiKeys().constFind(keyCode);
    if (it == ansiKeys().constEnd()) return QStringLiteral("#") + QString::number(keyCode);
    // Letters and digits are named as the layout in use prints them (Й on a Russian keyboard).
    const bool letterOrDigit = it->front().isLetterOrNumber();
    if (letterOrDigit && Platform::isInstalled()) {
        if (const auto layout = Platform::shared().keyboardLayout) {
            const auto label = layout->keyLabel(keyCode);
            if (!label || label->isEmpty()) return QStringLiteral("#") + QString::number(keyCode);
            return label->toUpper();
        }
    }
    return *it;
}
