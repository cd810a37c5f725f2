#include "DesktopTestSupport.h"

#include "core/ClipboardSnapshot.h"
#include "core/TextCapture.h"
#include "platform/x11/X11Clipboard.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11SelectionReader.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include "support/FakePlatform.h"

#include <algorithm>

using namespace DesktopTest;

namespace {

// Numbered lines of Korean text, at least n bytes: a piece lost, doubled or out of order shows.
QByteArray numberedText(qsizetype n)
{
    QByteArray text;
    for (int line = 0; text.size() < n; ++line)
        text += QStringLiteral("%1 대한민국의 수도(首都)는 서울이다. dkssud\n").arg(line, 6).toUtf8();
    return text;
}

// Whether a selection holds exactly these bytes (without printing megabytes when not).
testing::AssertionResult holds(const std::optional<QByteArray>& got, const QByteArray& expected)
{
    if (!got) return testing::AssertionFailure() << "not read";
    if (*got == expected) return testing::AssertionSuccess();
    qsizetype at = 0;
    while (at < got->size() && at < expected.size() && got->at(at) == expected.at(at)) ++at;
    return testing::AssertionFailure() << got->size() << " bytes instead of " << expected.size()
                                       << ", first difference at byte " << at;
}

} // namespace

// Our transient text is marked secret for clipboard histories. A paste shows as a request for the
// text, named by the pasting process; a request for the list of types alone (histories make one at
// every change) is none; a new write starts afresh. Another program's copy moves the count by one
// (our own writes, noted by XFixes before it, did not count again), and the restore of an older
// snapshot is skipped.
TEST(X11ClipboardTest, transientTextIsMarkedSecretItsReadersNamedAndOwnChangesCountAtOnce)
{
    using Readers = QList<std::optional<Pid>>;
    X11Clipboard clipboard(QClipboard::Clipboard, X11Connection::open());
    const qint64 start = clipboard.changeCount();
    ClipboardSnapshot::putTransient(QStringLiteral("首都"), clipboard);
    ASSERT_TRUE(selectionData(QStringLiteral("clipboard"), QStringLiteral("TARGETS")));
    EXPECT_EQ(clipboard.textReaders(), Readers{});
    const auto reader = LaunchedApp::start(QStringLiteral("xclip"), {QStringLiteral("-selection"), QStringLiteral("clipboard"),
                                                                     QStringLiteral("-t"), QStringLiteral("UTF8_STRING"),
                                                                     QStringLiteral("-o")});
    ASSERT_TRUE(reader && waitUntil([&] { return !reader->running(); }));
    EXPECT_EQ(reader->process().readAllStandardOutput(), QByteArray("首都"));
    EXPECT_EQ(clipboard.textReaders(), Readers{reader->pid()});

    const qint64 ours = ClipboardSnapshot::putTransient(QStringLiteral("水道"), clipboard);
    EXPECT_GT(ours, start);
    EXPECT_EQ(clipboard.textReaders(), Readers{});
    EXPECT_EQ(selectionData(QStringLiteral("clipboard"), QStringLiteral("x-kde-passwordManagerHint")), QByteArray("secret"));
    const ClipboardSnapshot older = QCoro::waitFor(ClipboardSnapshot::take(clipboard));
    // In the foreground (-quiet), so that it is ended by its PID with the test.
    const auto other = LaunchedApp::start(QStringLiteral("xclip"), {QStringLiteral("-quiet"), QStringLiteral("-selection"),
                                                                    QStringLiteral("clipboard"), QStringLiteral("-i")});
    ASSERT_TRUE(other);
    other->process().write("other");
    other->process().closeWriteChannel();
    ASSERT_TRUE(waitUntil([&] { return clipboard.changeCount() != ours; }));
    EXPECT_EQ(clipboard.changeCount(), ours + 1);
    EXPECT_FALSE(older.restore(ours, clipboard));
    EXPECT_EQ(QCoro::waitFor(clipboard.string()), QStringLiteral("other"));
}

// In xterm the selection is read from PRIMARY, whose owner is the terminal.
TEST(X11ClipboardTest, primaryOfAnXtermNamesItsOwner)
{
    X11Clipboard primary(QClipboard::Selection, X11Connection::open());
    const auto xterm = LaunchedApp::start(QStringLiteral("xterm"), {QStringLiteral("-geometry"), QStringLiteral("40x4+0+0"),
                                                                    QStringLiteral("-e"), QStringLiteral("sh"), QStringLiteral("-c"),
                                                                    QStringLiteral("echo sudoreul; exec sleep 120")});
    ASSERT_TRUE(xterm && xterm->activate(10s));

    // A double click on the first word selects it.
    ASSERT_TRUE(xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(xterm->window()),
                                         QStringLiteral("12"), QStringLiteral("8"), QStringLiteral("click"),
                                         QStringLiteral("--repeat"), QStringLiteral("2"), QStringLiteral("--delay"),
                                         QStringLiteral("80"), QStringLiteral("1")}));
    ASSERT_TRUE(waitUntil([&] { return primary.ownerPid() == xterm->pid(); }));
    EXPECT_EQ(QCoro::waitFor(primary.string()), QStringLiteral("sudoreul"));
}

// An owner that stops answering costs one bounded wait a format, the format left out instead of
// hanging the program, and its other formats are not waited for again. A press
// meanwhile waits out the time limit while the event loop goes on (the tray, the instance socket,
// timers), then says why it copied nothing. One that stops mid-transfer is left out alike.
TEST(X11ClipboardTest, aStoppedOwnerIsSkippedAfterTheTimeLimitWithoutHoldingUpTheEventLoop)
{
    auto fake = FakePlatform::install();
    auto clipboard = std::make_shared<X11Clipboard>(QClipboard::Clipboard, X11Connection::open());
    fake->platform->pasteboard = clipboard;
    fake->openEditor(QStringLiteral("수도"), {0, 2});
    const qint64 initial = clipboard->changeCount();
    const auto owner = LaunchedApp::start(QStringLiteral(SORELWICK_X11_HELPER), {QStringLiteral("formats")});
    ASSERT_TRUE(owner && owner->said("owned"));
    ASSERT_TRUE(waitUntil([&] { return clipboard->changeCount() > initial; }));
    ASSERT_FALSE(QCoro::waitFor(clipboard->itemTypes()).isEmpty());

    owner->stop();
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(QCoro::waitFor(clipboard->data(0, QStringLiteral("image/png"))));
    EXPECT_LT(timer.elapsed(), 15000); // the limit is 2 s; a read without one would hang
    // A snapshot of twenty formats would otherwise take forty seconds.
    timer.restart();
    EXPECT_FALSE(QCoro::waitFor(clipboard->data(0, QStringLiteral("text/plain"))));
    EXPECT_FALSE(QCoro::waitFor(clipboard->data(0, QStringLiteral("UTF8_STRING"))));
    EXPECT_LT(timer.elapsed(), 2000) << "less than one more time limit";

    QString why;
    bool pressEnded = false;
    auto press = [&]() -> QCoro::Task<void> {
        co_await TextCapture::capture(false, &why);
        pressEnded = true;
    };
    bool tickDuringPress = false;
    QTimer::singleShot(50, [&] { tickDuringPress = !pressEnded; });
    auto pressing = press();
    EXPECT_TRUE(waitUntil([&] { return pressEnded; }, 20s));
    EXPECT_TRUE(tickDuringPress) << "the event loop stood still while the owner was waited for";
    EXPECT_EQ(why, TextCapture::clipboardUnsavedNotice);

    // An owner that stops sending before the empty piece that ends the transfer: the format is left
    // out after the time limit too, never taken for whole.
    const qint64 stopped = clipboard->changeCount();
    const auto stalled = LaunchedApp::start(QStringLiteral(SORELWICK_X11_HELPER), {QStringLiteral("stalled")});
    ASSERT_TRUE(stalled && stalled->said("owned"));
    ASSERT_TRUE(waitUntil([&] { return clipboard->changeCount() > stopped; }));
    timer.restart();
    EXPECT_FALSE(QCoro::waitFor(clipboard->data(0, QStringLiteral("UTF8_STRING"))));
    EXPECT_LT(timer.elapsed(), 15000);
}

// Large data travels in pieces (INCR): it is read whole however the owner paces them, and a second
// read finds the same. Data above the size limit is left out, but its transfer is
// still taken to the end. Either way the owner stays serving: it neither waits for us for ever nor
// writes into a window that is gone (xclip ends on that error, and the user's clipboard with it).
TEST(X11ClipboardTest, dataInPiecesIsReadWholeOrLeftOutAboveTheLimitAndItsOwnerStays)
{
    for (const QByteArray& data : {numberedText(3 << 20), QByteArray(X11SelectionReader::sizeLimit + 1, 'x')}) {
        const bool tooLarge = data.size() > X11SelectionReader::sizeLimit;
        SCOPED_TRACE(data.size());
        X11Clipboard watcher(QClipboard::Clipboard, X11Connection::open());
        const qint64 initial = watcher.changeCount();
        const auto owner = LaunchedApp::start(QStringLiteral("xclip"), {QStringLiteral("-quiet"), QStringLiteral("-selection"),
                                                                        QStringLiteral("clipboard"), QStringLiteral("-t"),
                                                                        QStringLiteral("UTF8_STRING"), QStringLiteral("-i")});
        ASSERT_TRUE(owner);
        owner->process().write(data);
        owner->process().closeWriteChannel();
        ASSERT_TRUE(waitUntil([&] { return watcher.changeCount() != initial; }, 20s));
        {
            X11Clipboard clipboard(QClipboard::Clipboard, X11Connection::open());
            for (int read = 0; read < (tooLarge ? 1 : 2); ++read) {
                const auto got = QCoro::waitFor(clipboard.data(0, QStringLiteral("UTF8_STRING")));
                if (tooLarge) {
                    EXPECT_FALSE(got);
                } else {
                    EXPECT_TRUE(holds(got, data));
                }
            }
            EXPECT_EQ(clipboard.lastReadLost(), tooLarge) << "held but not taken: a snapshot cannot be whole";
            // xclip serves one request at a time: it answers again once the dropped transfer ended.
            EXPECT_TRUE(selectionData(QStringLiteral("clipboard"), QStringLiteral("TARGETS")));
        }
        if (!tooLarge) {
            EXPECT_TRUE(holds(selectionData(QStringLiteral("clipboard"), QStringLiteral("UTF8_STRING")), data));
        }
        EXPECT_TRUE(owner->running());
    }
}

// The user's large copy in a GTK editor survives our borrowing of the clipboard: saved whole,
// and whole again after the restore.
TEST(X11ClipboardTest, largeCopyInMousepadIsSavedAndRestoredWhole)
{
    const QByteArray text = numberedText(600 * 1024);
    X11Clipboard clipboard(QClipboard::Clipboard, X11Connection::open());
    Mousepad mousepad;
    ASSERT_TRUE(mousepad.start(QString::fromUtf8(text)));
    const qint64 before = clipboard.changeCount();
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("100"),
                                         QStringLiteral("ctrl+a"), QStringLiteral("ctrl+c")}));
    ASSERT_TRUE(waitUntil([&] { return clipboard.changeCount() != before && clipboard.ownerPid() == mousepad.pid(); }));

    const ClipboardSnapshot snapshot = QCoro::waitFor(ClipboardSnapshot::take(clipboard));
    ASSERT_EQ(snapshot.items.size(), 1);
    const auto saved = std::find_if(snapshot.items.first().begin(), snapshot.items.first().end(),
                                    [](const auto& p) { return p.first == QStringLiteral("UTF8_STRING"); });
    ASSERT_NE(saved, snapshot.items.first().end());
    EXPECT_TRUE(holds(saved->second, text));
    const qint64 ours = ClipboardSnapshot::putTransient(QStringLiteral("首都"), clipboard);
    ASSERT_TRUE(snapshot.restore(ours, clipboard));
    EXPECT_TRUE(holds(selectionData(QStringLiteral("clipboard"), QStringLiteral("UTF8_STRING")), text));
}

// What we hold when we leave (the user's clipboard, put back after a paste) stays with the
// desktop's clipboard manager, byte for byte; without one, it is lost.
TEST(X11ClipboardTest, ourClipboardGoesToTheClipboardManagerWhenWeLeave)
{
    QByteArray picture("\x89PNG\r\n\x1a\n", 8);
    for (int i = 0; picture.size() < 40000; ++i) picture += char(i * 7 + (i >> 8));
    const QByteArray text = QStringLiteral("수도(首都)를 · 😀").toUtf8();
    std::unique_ptr<LaunchedApp> manager;
    {
        X11Clipboard clipboard(QClipboard::Clipboard, X11Connection::open());
        ASSERT_TRUE(clipboard.writeObjects({PasteboardItem{{Pasteboard::stringType, text}, {QStringLiteral("image/png"), picture}}}));
        EXPECT_FALSE(clipboard.handToManager());

        manager = LaunchedApp::start(QStringLiteral(SORELWICK_X11_HELPER), {QStringLiteral("manager")});
        ASSERT_TRUE(manager && manager->said("ready"));
        EXPECT_TRUE(clipboard.handToManager());
    }
    EXPECT_TRUE(holds(selectionData(QStringLiteral("clipboard"), QStringLiteral("image/png")), picture));
    EXPECT_TRUE(holds(selectionData(QStringLiteral("clipboard"), QStringLiteral("UTF8_STRING")), text));
}
