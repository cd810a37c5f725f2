#include "platform/wayland/DesktopShortcutText.h"

#include "platform/x11/X11KeyTable.h"

#include <QStringList>

#include <array>
#include <set>

#include <xkbcommon/xkbcommon.h>

namespace {

// Hot-key modifier bits, in the order the program shows them (Ctrl Alt Shift Super).
struct Modifier {
    quint32 bit;
    const char* gnome;
    const char* portal;
};
constexpr std::array<Modifier, 4> kModifiers{{
    {0x1000, "<Control>", "CTRL"},
    {0x800, "<Alt>", "ALT"},
    {0x200, "<Shift>", "SHIFT"},
    {0x100, "<Super>", "LOGO"},
}};

std::optional<QString> keyName(quint32 ansiCode)
{
    if (ansiCode > 0xffff) return std::nullopt;
    const std::optional<X11KeyTable::Key> key = X11KeyTable::find(quint16(ansiCode));
    if (!key) return std::nullopt;
    char name[64];
    if (xkb_keysym_get_name(xkb_keysym_t(key->keysym), name, sizeof name) <= 0) return std::nullopt;
    return QString::fromLatin1(name);
}

// The modifiers of an accelerator by GTK's names and aliases, and its key, lowercased.
std::optional<std::pair<std::set<QString>, QString>> parse(const QString& accelerator)
{
    std::set<QString> modifiers;
    QString rest = accelerator.trimmed();
    while (rest.startsWith(QLatin1Char('<'))) {
        const qsizetype close = rest.indexOf(QLatin1Char('>'));
        if (close < 0) return std::nullopt;
        QString m = rest.mid(1, close - 1).toLower();
        if (m == QLatin1String("primary") || m == QLatin1String("ctrl") || m == QLatin1String("ctl")) m = QStringLiteral("control");
        else if (m == QLatin1String("mod1")) m = QStringLiteral("alt");
        else if (m == QLatin1String("mod4")) m = QStringLiteral("super");
        modifiers.insert(m);
        rest = rest.mid(close + 1);
    }
    if (rest.isEmpty()) return std::nullopt;
    return std::pair{modifiers, rest.toLower()};
}

} // namespace

namespace DesktopShortcutText {

std::optional<QString> gnomeAccelerator(quint32 ansiCode, quint32 carbonModifiers)
{
    const std::optional<QString> key = keyName(ansiCode);
    if (!key) return std::nullopt;
    QString text;
    for (const Modifier& m : kModifiers)
        if (carbonModifiers & m.bit) text += QLatin1String(m.gnome);
    return text + *key;
}

std::optional<QString> portalTrigger(quint32 ansiCode, quint32 carbonModifiers)
{
    const std::optional<QString> key = keyName(ansiCode);
    if (!key) return std::nullopt;
    QStringList parts;
    for (const Modifier& m : kModifiers)
        if (carbonModifiers & m.bit) parts << QLatin1String(m.portal);
    parts << *key;
    return parts.join(QLatin1Char('+'));
}

bool sameAccelerator(const QString& a, const QString& b)
{
    const auto pa = parse(a);
    const auto pb = parse(b);
    return pa && pb && *pa == *pb;
}

} // namespace DesktopShortcutText
