// The accessibility bus gone while Sorelwick runs (the desktop session restarts it, or it crashed),
// and back: meanwhile a press goes through the clipboard without the first-run window, afterwards
// through AT-SPI again. Its own binary, in a desktop of its own: the bus it restarts is not the
// one other tests' processes joined. Editors are read from their mirror files, not over the bus.

#include "EndToEndFixture.h"

namespace {

using namespace E2eTest;

const QString kSelected = QStringLiteral("수도는");
const QString kOnboardingTitle = QStringLiteral("소렐 시작하기");
const QString kConnectedLine = QStringLiteral("AT-SPI 접근성 버스에 연결함");
const QString kLostLine = QStringLiteral("접근성 버스(AT-SPI) 연결이 끊김");

class AccessibilityBus : public EndToEnd {
protected:
    static QString logPath() { return QDir(outputFolder()).filePath(QStringLiteral("accessibility-bus-sorelwick.log")); }
    static QString log() { return readFile(logPath()); }

    // Sorelwick with its log in a file, to tell how it read a selection.
    static void SetUpTestSuite()
    {
        QFile::remove(logPath());
        s_app = startSorelwick({QStringLiteral("SORELWICK_LOG_STDERR=1")}, logPath());
    }

    // tests/desktop/a11y-bus.sh stop|start: the session's bus ended by PID, or a new one started.
    static bool bus(const QString& command)
    {
        return run(qEnvironmentVariable("SORELWICK_A11Y_BUS_SCRIPT"), {command}).has_value();
    }

    // The list comes up over the editor without the first-run window; the first row is picked.
    static void pickFirstRow(TestEditor& editor)
    {
        const bool listed = shortcutShowsList();
        EXPECT_FALSE(visibleWindow(s_app->pid(), kOnboardingTitle)) << "the first-run window came up";
        ASSERT_TRUE(listed) << "no list after Ctrl+Alt+H\n" << log().toStdString();
        EXPECT_TRUE(picks([&] { return editor.text(); }));
    }
};

TEST_F(AccessibilityBus, AGoneBusMeansTheClipboardAndABusBackMeansAtspiAgain)
{
    {
        TestEditor editor; // not asked over the bus: this process would stay on the ended one
        ASSERT_TRUE(editor.start(kSentence, kSentence.indexOf(kSelected), kSelected.size()));
        ASSERT_TRUE(bus(QStringLiteral("stop")));
        EXPECT_TRUE(waitUntil([] { return log().contains(kLostLine); }, 5s)) << log().toStdString();
        pickFirstRow(editor);
        EXPECT_TRUE(log().contains(QStringLiteral("선택 읽기: ⌘C 성공"))) << log().toStdString();
    }

    ASSERT_TRUE(bus(QStringLiteral("start")));
    // A start in place (a second start line) joins the new bus; the same process holds the shortcut.
    EXPECT_TRUE(waitUntil([] { return log().count(kConnectedLine) == 2; }, 15s)) << log().toStdString();
    ASSERT_TRUE(waitUntil(shortcutRegistered, 15s));
    ASSERT_TRUE(s_app->running());

    TestEditor editor;
    ASSERT_TRUE(editor.open(kSentence, kSelected));
    const qsizetype before = log().size();
    pickFirstRow(editor);
    EXPECT_TRUE(log().mid(before).contains(QStringLiteral("선택 읽기: AX"))) << log().mid(before).toStdString();
}

} // namespace
