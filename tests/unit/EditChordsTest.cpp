#include "platform/EditChords.h"

#include <gtest/gtest.h>

namespace {
constexpr quint64 ctrl = ModifierFlag::control;
constexpr quint64 ctrlShift = ModifierFlag::control | ModifierFlag::shift;
const EditChords kPrimaryTerminal{{KeyCode::c, ctrlShift}, {KeyCode::insert, ModifierFlag::shift}, true, true};
const EditChords kTerminal{{KeyCode::c, ctrlShift}, {KeyCode::v, ctrlShift}, true, false};
const EditChords kEditor{{KeyCode::c, ctrl}, {KeyCode::v, ctrl}, false, false};
} // namespace

// Terminals never get plain Ctrl+C. Classes as the terminals set them (gnome-terminal's instance
// part too); one under a class of its own is known by its instance name (uxterm runs xterm
// -class UXTerm; st's class is its terminal name).
TEST(EditChordsTest, TerminalsNeverGetPlainCtrlCAndEverythingElseDoes)
{
    const struct {
        std::optional<QString> desktopId;
        std::optional<QString> instance;
        const EditChords& chords;
    } cases[] = {
        {"xterm", {}, kPrimaryTerminal},
        {"XTerm", {}, kPrimaryTerminal},
        {"URxvt", {}, kPrimaryTerminal},
        {"UXTerm", "xterm", kPrimaryTerminal},
        {"st-256color", "st", kTerminal},
        {"Mousepad", "mousepad", kEditor},
        {{}, {}, kEditor},
        {"", {}, kEditor},
        {"sterm", {}, kEditor},
        {"st.editor", {}, kEditor},
        {"org.gnome.TextEditor", {}, kEditor},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.desktopId.value_or("(none)").toStdString());
        EXPECT_EQ(EditChords::forDesktopId(c.desktopId, c.instance), c.chords);
    }
    for (const char* id : {"Gnome-terminal", "gnome-terminal-server", "konsole", "org.kde.konsole", "Xfce4-terminal",
                           "Mate-terminal", "Lxterminal", "Alacritty", "kitty", "foot", "st", "Tilix", "Terminator",
                           "org.wezfurlong.wezterm", "com.mitchellh.ghostty", "org.gnome.Console"})
        EXPECT_EQ(EditChords::forDesktopId(QString::fromLatin1(id)), kTerminal) << id;
}
