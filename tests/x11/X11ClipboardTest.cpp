#include "DesktopSupport.h"

#include "core/ClipboardSnapshot.h"
#include "platform/x11/X11Clipboard.h"
#include "platform/x11/X11Workspace.h"
#include "platform/x11/XTestKeyPoster.h"

#include "base/Log.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Keymap.h"

using DesktopSupport::Program;
using DesktopSupport::waitFor;

namespace {

// What another program holds on a selection, read by xclip as any program would.
std::optional<QByteArray> xclip(const QString& selection, const QString& type)
{
    return DesktopSupport::run(QStringLiteral("xclip"), {QStringLiteral("-selection"), selection,
                                                         QStringLiteral("-t"), type, QStringLiteral("-o")});
}

// The helper's formats, as it wrote them down: type, bytes.
QList<QPair<QString, QByteArray>> ownerFormats(const QTemporaryDir& dir)
{
    QList<QPair<QString, QByteArray>> formats;
    for (int i = 0; i < 4; ++i) {
        QFile f(dir.filePath(QString::number(i)));
        if (!f.open(QIODevice::ReadOnly)) return {};
        const QByteArray all = f.readAll();
        const qsizetype nl = all.indexOf('\n');
        formats.append({QString::fromUtf8(all.left(nl)), all.mid(nl + 1)});
    }
    return formats;
}

} // namespace

// A simulated copy from mousepad, with the user's clipboard (text, HTML, a picture and a blob
// large enough to travel in pieces, from another program) saved before and given back after,
// byte for byte.
TEST(X11ClipboardTest, copyFromMousepadRestoresEveryFormat)
{
    auto input = X11Connection::open();
    auto keymap = std::make_shared<X11Keymap>(input);
    auto workspace = std::make_shared<X11Workspace>(X11Connection::open());
    XTestKeyPoster poster(input, keymap, workspace);
    X11Clipboard clipboard(QClipboard::Clipboard, X11Connection::open());

    QTemporaryDir dir;
    const qint64 initial = clipboard.changeCount();
    Program owner(QStringLiteral(SORELWICK_CLIPBOARD_OWNER), {dir.path()});
    ASSERT_TRUE(waitFor([&] { return owner.process().readAllStandardOutput().contains("owned"); }));
    const auto formats = ownerFormats(dir);
    ASSERT_EQ(formats.size(), 4);
    // The change counts once the new owner answers.
    ASSERT_TRUE(waitFor([&] { return clipboard.changeCount() > initial; }));
    const QList<QStringList> types = clipboard.itemTypes();
    ASSERT_EQ(types.size(), 1);
    for (const auto& [type, bytes] : formats) EXPECT_TRUE(types.first().contains(type)) << type.toStdString();

    QFile text(dir.filePath(QStringLiteral("word.txt")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("수도를");
    text.close();
    Program mousepad(QStringLiteral("mousepad"), {text.fileName()});
    const unsigned long window = mousepad.window(20000);
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(DesktopSupport::activate(window));
    ASSERT_TRUE(waitFor([&] { return workspace->frontmostApplication() && workspace->frontmostApplication()->pid == mousepad.pid(); }, 10000));
    ASSERT_TRUE(poster.postKeyEvent(0, ModifierFlag::control, true)); // Ctrl+A
    ASSERT_TRUE(poster.postKeyEvent(0, ModifierFlag::control, false));

    const ClipboardSnapshot snapshot(clipboard);
    const qint64 before = clipboard.changeCount();
    ASSERT_TRUE(poster.postKeyEvent(KeyCode::c, ModifierFlag::control, true));
    ASSERT_TRUE(poster.postKeyEvent(KeyCode::c, ModifierFlag::control, false));
    ASSERT_TRUE(waitFor([&] { return clipboard.changeCount() != before; }));
    EXPECT_EQ(clipboard.string(), QStringLiteral("수도를"));
    EXPECT_EQ(clipboard.ownerPid(), mousepad.pid());
    EXPECT_TRUE(snapshot.restore(clipboard.changeCount(), clipboard));

    // Back as the helper had it, read by another program.
    for (const auto& [type, bytes] : formats) {
        const auto back = xclip(QStringLiteral("clipboard"), type);
        ASSERT_TRUE(back) << type.toStdString();
        EXPECT_EQ(*back, bytes) << type.toStdString();
    }
    EXPECT_EQ(clipboard.ownerPid(), qint32(QCoreApplication::applicationPid()));
}

TEST(X11ClipboardTest, transientTextIsMarkedSecretAndOwnChangesCountAtOnce)
{
    X11Clipboard clipboard(QClipboard::Clipboard, X11Connection::open());
    const qint64 start = clipboard.changeCount();
    const qint64 ours = ClipboardSnapshot::putTransient(QStringLiteral("首都"), clipboard);
    EXPECT_GT(ours, start);
    EXPECT_EQ(xclip(QStringLiteral("clipboard"), QStringLiteral("x-kde-passwordManagerHint")), QByteArray("secret"));
    EXPECT_EQ(xclip(QStringLiteral("clipboard"), QStringLiteral("UTF8_STRING")), QByteArray("首都"));
    // Another program takes it: the count moves by one (our own writes, noted by XFixes before
    // it, did not count again), and the restore of an older snapshot is skipped.
    const ClipboardSnapshot older(clipboard);
    // In the foreground (-quiet), so that it is ended by its PID with the test.
    Program other(QStringLiteral("xclip"), {QStringLiteral("-quiet"), QStringLiteral("-selection"),
                                            QStringLiteral("clipboard"), QStringLiteral("-i")});
    other.process().write("other");
    other.process().closeWriteChannel();
    ASSERT_TRUE(waitFor([&] { return clipboard.changeCount() != ours; }));
    EXPECT_EQ(clipboard.changeCount(), ours + 1);
    EXPECT_FALSE(older.restore(ours, clipboard));
    EXPECT_EQ(clipboard.string(), QStringLiteral("other"));
}

// In xterm the selection is read from PRIMARY; its owner is the terminal, and nothing is sent
// to it (Ctrl+C would end the command running there).
TEST(X11ClipboardTest, primaryOfAnXtermNamesItsOwner)
{
    X11Clipboard primary(QClipboard::Selection, X11Connection::open());
    X11Workspace workspace(X11Connection::open());
    Program xterm(QStringLiteral("xterm"), {QStringLiteral("-geometry"), QStringLiteral("40x4+0+0"), QStringLiteral("-e"),
                                            QStringLiteral("sh"), QStringLiteral("-c"),
                                            QStringLiteral("echo sudoreul; exec sleep 120")});
    const unsigned long window = xterm.window();
    ASSERT_NE(window, 0u);
    ASSERT_TRUE(DesktopSupport::activate(window));
    QList<qint32> sleeper;
    ASSERT_TRUE(waitFor([&] { return !(sleeper = DesktopSupport::children(xterm.pid())).isEmpty(); }));

    // A double click on the first word selects it.
    ASSERT_TRUE(DesktopSupport::xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(window),
                                         QStringLiteral("12"), QStringLiteral("8"), QStringLiteral("click"),
                                         QStringLiteral("--repeat"), QStringLiteral("2"), QStringLiteral("--delay"),
                                         QStringLiteral("80"), QStringLiteral("1")}));
    ASSERT_TRUE(waitFor([&] { return primary.ownerPid() == xterm.pid(); }));
    EXPECT_EQ(workspace.frontmostApplication()->pid, xterm.pid());
    EXPECT_EQ(workspace.frontmostApplication()->desktopId, QStringLiteral("XTerm"));
    EXPECT_EQ(primary.string(), QStringLiteral("sudoreul"));
    EXPECT_TRUE(DesktopSupport::alive(sleeper.first()));
}

// An owner that stops answering costs one bounded wait a format, and the format is left out
// with a log line instead of hanging the program.
TEST(X11ClipboardTest, hungOwnerIsSkippedAfterTheTimeLimit)
{
    X11Clipboard clipboard(QClipboard::Clipboard, X11Connection::open());
    QTemporaryDir dir;
    const qint64 initial = clipboard.changeCount();
    Program owner(QStringLiteral(SORELWICK_CLIPBOARD_OWNER), {dir.path()});
    ASSERT_TRUE(waitFor([&] { return owner.process().readAllStandardOutput().contains("owned"); }));
    ASSERT_TRUE(waitFor([&] { return clipboard.changeCount() > initial; }));
    ASSERT_FALSE(clipboard.itemTypes().isEmpty());

    Log::Collector log;
    ::kill(pid_t(owner.pid()), SIGSTOP);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(clipboard.data(0, QStringLiteral("image/png")));
    EXPECT_LT(timer.elapsed(), 4000); // the limit is 2 s; Qt's own reads wait 5 s
    EXPECT_TRUE(log.contains(QStringLiteral("image/png 형식을 건너뜀")));
    EXPECT_TRUE(clipboard.itemTypes().isEmpty());
    EXPECT_TRUE(log.contains(QStringLiteral("형식 목록을 읽지 못함")));
    ::kill(pid_t(owner.pid()), SIGCONT);
}
