#include "platform/EditChords.h"

#include <array>

namespace {
struct Terminal {
    const char* desktopId;
    bool shiftInsert; // pastes PRIMARY with Shift+Insert; Ctrl+Shift+V is not bound by default
};

// Terminals that take Ctrl+C as an interrupt, by the class part of WM_CLASS (gnome-terminal's
// is Gnome-terminal; its instance part, gnome-terminal-server, is listed too). xterm and the
// rxvts bind no clipboard paste chord by default, so the text is pasted from PRIMARY with
// Shift+Insert.
constexpr std::array kTerminals = {
    Terminal{"xterm", true},           Terminal{"urxvt", true},
    Terminal{"rxvt", true},            Terminal{"gnome-terminal", false},
    Terminal{"gnome-terminal-server", false}, Terminal{"konsole", false},
    Terminal{"xfce4-terminal", false}, Terminal{"mate-terminal", false},
    Terminal{"lxterminal", false},     Terminal{"qterminal", false},
    Terminal{"alacritty", false},      Terminal{"kitty", false},
    Terminal{"foot", false},           Terminal{"st", false},
    Terminal{"tilix", false},          Terminal{"terminator", false},
    Terminal{"wezterm", false},        Terminal{"sakura", false},
    Terminal{"terminology", false},    Terminal{"guake", false},
    Terminal{"yakuake", false},        Terminal{"tilda", false},
    Terminal{"cool-retro-term", false}, Terminal{"kgx", false},
    Terminal{"org.gnome.console", false}, // GNOME Console: "console" alone would say too little
    Terminal{"ghostty", false},        Terminal{"ptyxis", false},
};

constexpr quint64 kCtrl = ModifierFlag::control;
constexpr quint64 kCtrlShift = ModifierFlag::control | ModifierFlag::shift;
} // namespace

namespace {
const Terminal* terminalNamed(const std::optional<QString>& name)
{
    if (!name) return nullptr;
    const QString id = name->toLower();
    // Newer terminals name their class in reverse DNS (org.wezfurlong.wezterm, org.kde.konsole).
    const QString last = id.section(QLatin1Char('.'), -1);
    for (const Terminal& t : kTerminals)
        if (id == QLatin1String(t.desktopId) || last == QLatin1String(t.desktopId)) return &t;
    return nullptr;
}
} // namespace

EditChords EditChords::forDesktopId(const std::optional<QString>& desktopId, const std::optional<QString>& instanceName)
{
    // A terminal started under a class of its own keeps its instance name (uxterm: xterm, class
    // UXTerm; st: st, class st-256color).
    const Terminal* t = terminalNamed(desktopId);
    if (!t) t = terminalNamed(instanceName);
    if (!t) return {{KeyCode::c, kCtrl}, {KeyCode::v, kCtrl}, false, false};
    if (t->shiftInsert) return {{KeyCode::c, kCtrlShift}, {KeyCode::insert, ModifierFlag::shift}, true, true};
    return {{KeyCode::c, kCtrlShift}, {KeyCode::v, kCtrlShift}, true, false};
}
