#include "platform/EditChords.h"

#include <gtest/gtest.h>

namespace {
constexpr quint64 ctrl = ModifierFlag::control;
constexpr quint64 ctrlShift = ModifierFlag::control | ModifierFlag::shift;
} // namespace

TEST(EditChordsTest, TerminalsNeverGetPlainCtrlC)
{
    struct Row {
        const char* id;
        KeyChord paste;
        bool pastesPrimary;
    };
    const Row terminals[] = {
        {"xterm", {KeyCode::insert, ModifierFlag::shift}, true},
        {"XTerm", {KeyCode::insert, ModifierFlag::shift}, true},
        {"URxvt", {KeyCode::insert, ModifierFlag::shift}, true},
        // Classes as the terminals set them; gnome-terminal's instance part too.
        {"Gnome-terminal", {KeyCode::v, ctrlShift}, false},
        {"gnome-terminal-server", {KeyCode::v, ctrlShift}, false},
        {"konsole", {KeyCode::v, ctrlShift}, false},
        {"org.kde.konsole", {KeyCode::v, ctrlShift}, false},
        {"Xfce4-terminal", {KeyCode::v, ctrlShift}, false},
        {"Mate-terminal", {KeyCode::v, ctrlShift}, false},
        {"Lxterminal", {KeyCode::v, ctrlShift}, false},
        {"Alacritty", {KeyCode::v, ctrlShift}, false},
        {"kitty", {KeyCode::v, ctrlShift}, false},
        {"foot", {KeyCode::v, ctrlShift}, false},
        {"st", {KeyCode::v, ctrlShift}, false},
        {"Tilix", {KeyCode::v, ctrlShift}, false},
        {"Terminator", {KeyCode::v, ctrlShift}, false},
        {"org.wezfurlong.wezterm", {KeyCode::v, ctrlShift}, false},
        {"com.mitchellh.ghostty", {KeyCode::v, ctrlShift}, false},
        {"org.gnome.Console", {KeyCode::v, ctrlShift}, false},
    };
    for (const Row& row : terminals) {
        const EditChords chords = EditChords::forDesktopId(QString::fromLatin1(row.id));
        SCOPED_TRACE(row.id);
        EXPECT_EQ(chords.paste, row.paste);
        EXPECT_EQ(chords.pastesPrimary, row.pastesPrimary);
        if (row.paste.flags == ctrl) {
            EXPECT_FALSE(chords.terminal);
            continue;
        }
        EXPECT_TRUE(chords.terminal);
        EXPECT_EQ(chords.copy, (KeyChord{KeyCode::c, ctrlShift}));
    }
}

TEST(EditChordsTest, ATerminalUnderAClassOfItsOwnIsKnownByItsInstanceName)
{
    // uxterm runs xterm -class UXTerm; st's class is its terminal name.
    EXPECT_EQ(EditChords::forDesktopId(QString("UXTerm"), QString("xterm")),
              (EditChords{{KeyCode::c, ctrlShift}, {KeyCode::insert, ModifierFlag::shift}, true, true}));
    EXPECT_EQ(EditChords::forDesktopId(QString("st-256color"), QString("st")),
              (EditChords{{KeyCode::c, ctrlShift}, {KeyCode::v, ctrlShift}, true, false}));
    EXPECT_FALSE(EditChords::forDesktopId(QString("Mousepad"), QString("mousepad")).terminal);
    EXPECT_FALSE(EditChords::forDesktopId(std::nullopt, std::nullopt).terminal);
}

TEST(EditChordsTest, EditorsAndUnknownApplicationsTakeCtrlCAndCtrlV)
{
    for (const std::optional<QString>& id : {std::optional<QString>{}, std::optional<QString>{"Mousepad"},
                                             std::optional<QString>{"sterm"}, std::optional<QString>{""},
                                             std::optional<QString>{"org.gnome.TextEditor"}, std::optional<QString>{"st.editor"}}) {
        const EditChords chords = EditChords::forDesktopId(id);
        EXPECT_EQ(chords.copy, (KeyChord{KeyCode::c, ctrl}));
        EXPECT_EQ(chords.paste, (KeyChord{KeyCode::v, ctrl}));
        EXPECT_FALSE(chords.terminal);
        EXPECT_FALSE(chords.pastesPrimary);
    }
}
