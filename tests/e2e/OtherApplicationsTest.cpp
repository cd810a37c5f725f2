// The same flow where the selection cannot be read over the accessibility bus: a terminal read
// through PRIMARY where a copy chord would interrupt the command, and an editor without
// accessibility, reached through the clipboard, whose earlier content has to come back.

#include "EndToEndFixture.h"

namespace {

using namespace E2eTest;

class OtherApplications : public EndToEnd {};

// The text an X selection ("clipboard", "primary") holds, as UTF-8.
QString selectionText(const QString& selection = QStringLiteral("clipboard"))
{
    return QString::fromUtf8(selectionData(selection, QStringLiteral("UTF8_STRING")).value_or("<none>"));
}

// xterm that prints a word and then runs cat, which writes what is typed to a file as it comes
// (the terminal hands over each character at once, not line by line).
struct Terminal {
    QTemporaryDir dir;
    std::unique_ptr<LaunchedApp> program;

    QString input() const { return readFile(dir.filePath(QStringLiteral("input"))); }
    pid_t commandPid() const { return pid_t(readFile(dir.filePath(QStringLiteral("pid"))).trimmed().toInt()); }

    bool open(const QString& word)
    {
        const QString script = QStringLiteral(
            "printf '%s\\n' \"$2\"; echo $$ > \"$1/pid.tmp\"; mv \"$1/pid.tmp\" \"$1/pid\";"
            " stty -icanon; exec cat > \"$1/input\"");
        program = LaunchedApp::start(
            QStringLiteral("xterm"),
            {QStringLiteral("-geometry"), QStringLiteral("50x6+80+120"), QStringLiteral("-fa"),
             QStringLiteral("Noto Sans Mono CJK KR"), QStringLiteral("-fs"), QStringLiteral("14"), QStringLiteral("-e"),
             QStringLiteral("sh"), QStringLiteral("-c"), script, QStringLiteral("sh"), dir.path(), word});
        return program && waitUntil([&] { return commandPid() > 0; }, 15s) && program->activate(10s);
    }

    // Double-clicks the first thing on the first line, as a user selects a word there (a
    // triple-click: the line, its line break included), again until the terminal, which draws
    // what the command printed in its own time, has it on screen to select; true once PRIMARY
    // holds `selection`.
    bool selectFirst(const QString& selection, int clicks = 2)
    {
        const auto selected = [&] { return selectionText(QStringLiteral("primary")) == selection; };
        return waitUntil(
            [&] {
                const QPoint at = windowFrame(program->window()).topLeft() + QPoint(10, 10);
                for (int i = 0; i < clicks; ++i) clickAt(at);
                return waitUntil(selected, 300ms);
            },
            10s);
    }
};

// A Qt editor behind xterm: the accessibility bus keeps naming its text as focused after xterm,
// which is not on the bus, comes to the front (Qt reports no focus loss when its window is
// deactivated). The shortcut there belongs to xterm: its own selection is read and pasted, the
// editor keeps its text until it is in front again.
TEST_F(OtherApplications, InXtermTheWordComesFromPrimaryAndTheCommandAndAQtEditorBehindAreLeftAlone)
{
    TestEditor editor;
    ASSERT_TRUE(editor.open(kSentence, QStringLiteral("수도는")));
    Terminal terminal;
    ASSERT_TRUE(terminal.open(QStringLiteral("수도")));
    const pid_t command = terminal.commandPid();
    ASSERT_TRUE(terminal.selectFirst(QStringLiteral("수도"))) << "the double-click did not select the word";

    // Alt+1: the Hanja on the clipboard, a notice saying so, and nothing typed; a copy chord
    // (Ctrl+C) would have ended cat.
    ASSERT_TRUE(shortcutShowsList()) << "no panel after Ctrl+Alt+H";
    saveShot(QStringLiteral("panel-over-xterm.png"));
    // Without a compositor the panel is cut to its rounded box: its corners show the terminal.
    saveShot(QStringLiteral("panel-corners.png"), panel()->geometry.adjusted(-6, -6, 6, 6));
    pressChord(QStringLiteral("alt+1"));
    EXPECT_TRUE(reads([] { return selectionText(); }, QStringLiteral("首都")));
    EXPECT_TRUE(waitForPanel()) << "the notice that confirms the copy";
    ASSERT_TRUE(closes());
    EXPECT_TRUE(processRunning(command)) << "the command in the terminal was interrupted";
    EXPECT_EQ(terminal.input(), QString()) << "keys reached the command";

    // A pick pastes into what runs there (the terminal cannot replace printed text), and PRIMARY,
    // lent for the paste, holds the word again afterwards.
    ASSERT_TRUE(shortcutShowsList());
    EXPECT_TRUE(picks([&] { return terminal.input(); }, QStringLiteral("수도(首都)")));
    EXPECT_TRUE(reads([] { return selectionText(QStringLiteral("primary")); }, QStringLiteral("수도")));
    EXPECT_TRUE(processRunning(command));

    // A triple-clicked line ends in a line break, which would run the line: the pick comes without.
    ASSERT_TRUE(terminal.selectFirst(QStringLiteral("수도\n"), 3)) << "the triple-click did not select the line";
    ASSERT_TRUE(shortcutShowsList());
    EXPECT_TRUE(picks([&] { return terminal.input(); }, QStringLiteral("수도(首都)수도(首都)")));
    EXPECT_TRUE(processRunning(command));
    EXPECT_TRUE(panelGone());
    EXPECT_EQ(editor.text(), kSentence) << "the editor in the background was written";

    // Back in front, the editor is read and written as before.
    ASSERT_TRUE(editor.program->activate());
    ASSERT_TRUE(shortcutShowsList()) << "no panel over the editor";
    EXPECT_TRUE(picks([&] { return editor.text(); }));
}

// An editor off the accessibility bus: its selection is copied with Ctrl+C and the pick pasted with
// Ctrl+V, both through the clipboard, which comes back whole. Slow applications answer Ctrl+C after
// Sorelwick stopped waiting, or read the clipboard well after Ctrl+V: the late copy must not stay
// on the user's clipboard, and the late paste must get the pick.
TEST_F(OtherApplications, TheClipboardComesBackWholeAfterAPasteAndASlowEditorsLateCopy)
{
    const struct {
        const char* how;
        QStringList options;
        bool copiesLate;
    } cases[] = {{"at once", {}, false},
                 {"paste after 900 ms", {QStringLiteral("--paste-delay"), QStringLiteral("900")}, false},
                 {"copy after 900 ms", {QStringLiteral("--copy-delay"), QStringLiteral("900")}, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        ClipboardHolder holder;
        ASSERT_TRUE(holder.start()) << "the clipboard holder did not take the clipboard";
        TestEditor editor;
        ASSERT_TRUE(editor.start(kSentence, kSentence.indexOf(QStringLiteral("수도는")), 3, c.options,
                                 {QStringLiteral("AT_SPI_BUS_ADDRESS=unix:path=/nonexistent")}));
        ASSERT_FALSE(registeredOnAccessibilityBus(editor.program->pid()));
        // Ctrl and Alt let go 300 ms before H: while H is down the X server sends every key to the
        // shortcut's grab, so a copy chord sent then would never reach the editor.
        keysDown(QStringLiteral("ctrl+alt+h"));
        keysUp(QStringLiteral("ctrl+alt"));
        keysUp(QStringLiteral("h"), 300);
        if (c.copiesLate) {
            ASSERT_TRUE(waitForPanel()) << "no notice after Ctrl+Alt+H";
            ASSERT_TRUE(holder.program->said("lost")) << "the editor never copied";
        } else {
            ASSERT_TRUE(waitForList()) << "no panel after Ctrl+Alt+H";
            EXPECT_TRUE(picks([&] { return editor.text(); }));
        }
        EXPECT_TRUE(waitUntil([&] { return holder.isBack(); }, 5s))
            << selectionText().toStdString();
        ASSERT_TRUE(c.copiesLate ? closes() : panelGone());
    }
    EXPECT_TRUE(s_app->running());
}

// A read-only view takes no paste: the text stays, the user is told, and the spelling waits on the
// clipboard to be pasted elsewhere.
TEST_F(OtherApplications, AReadOnlyViewLeavesThePickOnTheClipboardAndSaysSo)
{
    TestEditor editor;
    ASSERT_TRUE(editor.open(kSentence, QStringLiteral("수도는"), {QStringLiteral("--read-only")}));
    ASSERT_TRUE(shortcutShowsList()) << "no panel after Ctrl+Alt+H";
    ASSERT_TRUE(closes(QStringLiteral("1")));
    // Read only once the notice is up: a read of the lent text before would be a request.
    ASSERT_TRUE(waitForPanel()) << "no notice after the paste went unread";
    saveShot(QStringLiteral("notice-read-only.png"));
    EXPECT_EQ(selectionText(), QStringLiteral("수도(首都)는"));
    EXPECT_EQ(editor.text(), kSentence);
}

} // namespace
