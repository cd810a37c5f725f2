#include "platform/EditChords.h"

#include <array>

namespace {
struct Terminal {
    const char* desktopId;
    bool shiftInsert; // pastes PRIMARY with Shift+Insert; Ctrl+Shift+V is not bound by default
};

// Terminals that take Ctrl+C as an interrupt. xterm and URxvt bind no clipboard paste chord by
// default, so the text is pasted from PRIMARY with Shift+Insert.
constexpr std::array kTerminals = {
    Terminal{"xterm", true},          Terminal{"urxvt", true},
    Terminal{"gnome-terminal-server", false}, Terminal{"konsole", false},
    Terminal{"xfce4-terminal", false}, Terminal{"alacritty", false},
    Terminal{"kitty", false},          Terminal{"foot", false},
    Terminal{"st", false},             Terminal{"tilix", false},
    Terminal{"terminator", false},     Terminal{"wezterm", false},
};

constexpr quint64 kCtrl = ModifierFlag::control;
constexpr quint64 kCtrlShift = ModifierFlag::control | ModifierFlag::shift;
} // namespace

EditChords EditChords::forDesktopId(const std::optional<QString>& desktopId)
{
    if (desktopId) {
        const QString id = desktopId->toLower();
        for (const Terminal& t : kTerminals) {
            if (id != QLatin1String(t.desktopId)) continue;
            if (t.shiftInsert)
                return {{KeyCode::c, kCtrlShift}, {KeyCode::insert, ModifierFlag::shift}, true, true};
            return {{KeyCode::c, kCtrlShift}, {KeyCode::v, kCtrlShift}, true, false};
        }
    }
    return {{KeyCode::c, kCtrl}, {KeyCode::v, kCtrl}, false, false};
}
