#include "DesktopTestSupport.h"

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Keymap.h"
#include "platform/x11/X11Workspace.h"
#include "platform/x11/XTestKeyPoster.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

using namespace DesktopTest;

namespace {

// xterm under a class of its own running the command, its window listed.
std::unique_ptr<LaunchedApp> terminal(const QString& cls, const QString& command)
{
    auto xterm = LaunchedApp::start(QStringLiteral("xterm"), {QStringLiteral("-class"), cls, QStringLiteral("-geometry"),
                                                              QStringLiteral("60x8+20+20"), QStringLiteral("-e"),
                                                              QStringLiteral("sh"), QStringLiteral("-c"), command});
    return xterm && xterm->waitForWindow() ? std::move(xterm) : nullptr;
}

} // namespace

TEST(X11WorkspaceTest, followsTheActiveWindowAcrossApplications)
{
    X11Workspace workspace(X11Connection::open());
    QList<RunningApplication> activations;
    const auto handle = workspace.observeActivation([&](const RunningApplication& a) { activations << a; });

    const auto first = terminal(QStringLiteral("SorelFirst"), QStringLiteral("exec sleep 60"));
    const auto second = terminal(QStringLiteral("SorelSecond"), QStringLiteral("exec sleep 60"));
    ASSERT_TRUE(first && second);

    const RunningApplication a{first->pid(), QStringLiteral("SorelFirst"), QStringLiteral("xterm")};
    const RunningApplication b{second->pid(), QStringLiteral("SorelSecond"), QStringLiteral("xterm")};
    // Start from the second: a window manager may or may not focus a new window.
    ASSERT_TRUE(second->activate());
    ASSERT_TRUE(waitUntil([&] { return workspace.frontmostApplication() == b; }));
    for (int round = 0; round < 2; ++round) {
        activations.clear();
        ASSERT_TRUE(first->activate());
        EXPECT_TRUE(waitUntil([&] { return activations.contains(a); }));
        EXPECT_EQ(workspace.frontmostApplication(), a);
        ASSERT_TRUE(second->activate());
        EXPECT_TRUE(waitUntil([&] { return activations.contains(b); }));
        EXPECT_EQ(workspace.frontmostApplication(), b);
        EXPECT_EQ(activations.back(), b);
    }

    // Under a class of its own (as uxterm starts it) xterm is still a terminal: no Ctrl+C.
    EXPECT_TRUE(workspace.editChords(*workspace.frontmostApplication()).terminal);

    workspace.removeObserver(handle);
    activations.clear();
    ASSERT_TRUE(first->activate());
    EXPECT_TRUE(waitUntil([&] { return workspace.frontmostApplication() == a; }));
    EXPECT_TRUE(activations.isEmpty());
}

// The frame the window manager draws around the window in front, told in device pixels, is its
// frame window's place on the screen (what the accessibility bus gives of a GTK window, scaled).
TEST(X11WorkspaceTest, theWindowInFrontComesWithTheWindowManagersFrame)
{
    X11Workspace workspace(X11Connection::open());
    const auto program = terminal(QStringLiteral("SorelFramed"), QStringLiteral("exec sleep 60"));
    ASSERT_TRUE(program && program->activate());
    const unsigned long window = program->window();
    ASSERT_TRUE(waitUntil([&] {
        const auto front = workspace.frontmostApplication();
        return front && front->pid == program->pid();
    }));
    const std::optional<FrontWindow> front = workspace.frontmostWindow();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->pid, program->pid());

    // openbox puts the client into a frame window of its own.
    auto connection = X11Connection::open();
    Display* d = connection->display();
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    ASSERT_TRUE(XQueryTree(d, window, &root, &parent, &children, &count));
    XFreePtr<::Window> owned(children);
    int x = 0, y = 0;
    unsigned int width = 0, height = 0, border = 0, depth = 0;
    ASSERT_TRUE(XGetGeometry(d, parent, &root, &x, &y, &width, &height, &border, &depth));
    EXPECT_EQ(front->device.client + front->device.decorations, QRectF(x, y, width, height));
    EXPECT_GT(front->device.decorations.top(), front->device.decorations.bottom()); // the title bar
    EXPECT_TRUE(front->device.shadow.isNull());
}

namespace {

// A terminal in front that writes the first line typed into it to a file, and a poster for it.
struct TypingInFront {
    std::shared_ptr<X11Connection> connection = X11Connection::open();
    std::shared_ptr<X11Keymap> keymap = std::make_shared<X11Keymap>(connection);
    std::shared_ptr<X11Workspace> workspace = std::make_shared<X11Workspace>(X11Connection::open());
    XTestKeyPoster poster{connection, keymap, workspace};
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("typed"));
    const std::unique_ptr<LaunchedApp> reader = terminal(
        QStringLiteral("SorelReader"), QStringLiteral("read line; printf '%s' \"$line\" > '%1'; exec sleep 60").arg(out));

    bool inFront()
    {
        return reader && reader->activate() && waitUntil([&] {
                   return workspace->frontmostApplication() && workspace->frontmostApplication()->pid == reader->pid();
               });
    }
    bool press(quint16 key) { return poster.postKeyEvent(key, 0, true) && poster.postKeyEvent(key, 0, false); }
    // The line, once Return has ended it; empty when nothing came.
    QString line()
    {
        waitUntil([&] { return !readFile(out).isEmpty(); });
        return readFile(out);
    }
};

} // namespace

// Keys reach the application in front, whole (pressed and released), Shift included, and no
// modifier stays down after a chord. Typing handed back from the panel carries the keyboard's own
// code of the key, so a key with no place on a US keyboard (here the ISO <> key beside the left
// Shift; 한/영 and 한자 alike) comes out as it was pressed.
TEST(XTestKeyPosterTest, keysReachTheApplicationInFrontAsPressed)
{
    TypingInFront t;
    ASSERT_TRUE(t.inFront());
    // Typing for another process is refused and types nothing.
    EXPECT_FALSE(t.poster.postKeyDown(t.reader->pid() + 100000, KeyCode::h, 0));
    EXPECT_TRUE(t.poster.postKeyDown(t.reader->pid(), KeyCode::h, ModifierFlag::shift));
    ASSERT_TRUE(t.press(34)); // i
    constexpr quint32 lessGreater = 94; // <LSGT>
    ASSERT_EQ(XkbKeycodeToKeysym(t.connection->display(), lessGreater, 0, 0), KeySym(XK_less));
    constexpr quint16 noUsPosition = 0xFFFF;
    EXPECT_TRUE(t.poster.postKeyDown(t.reader->pid(), noUsPosition, 0, lessGreater));
    EXPECT_TRUE(t.poster.postKeyDown(t.reader->pid(), noUsPosition, ModifierFlag::shift, lessGreater));
    ASSERT_TRUE(t.press(KeyCode::returnKey));
    EXPECT_EQ(t.line(), QStringLiteral("Hi<>"));
    EXPECT_EQ(t.poster.combinedModifierFlags(), 0u);
}

// The chords we send mean their letter: on Dvorak Ctrl+C is the key that types C, not the one where
// C is on a US keyboard (which types J there, and Ctrl+J is another command). Typing replayed for
// the panel keeps the position the user pressed.
TEST(XTestKeyPosterTest, chordLettersAreWhatTheLayoutTypesAndReplayedKeysTheirPosition)
{
    TypingInFront t;
    struct UsLayoutAfterwards {
        ~UsLayoutAfterwards() { run(QStringLiteral("setxkbmap"), {QStringLiteral("us")}); }
    } restore;
    ASSERT_TRUE(t.inFront());
    ASSERT_TRUE(run(QStringLiteral("setxkbmap"), {QStringLiteral("us"), QStringLiteral("-variant"), QStringLiteral("dvorak")}));
    ASSERT_TRUE(waitUntil([&] { return t.keymap->keyLabel(KeyCode::c) == QStringLiteral("j"); }));

    ASSERT_TRUE(t.press(KeyCode::c));
    ASSERT_TRUE(t.press(KeyCode::v));
    EXPECT_TRUE(t.poster.postKeyDown(t.reader->pid(), KeyCode::c, 0));
    ASSERT_TRUE(t.press(KeyCode::returnKey));
    EXPECT_EQ(t.line(), QStringLiteral("cvj"));
}

TEST(XTestKeyPosterTest, heldModifiersCountAndLocksDoNot)
{
    auto connection = X11Connection::open();
    auto keymap = std::make_shared<X11Keymap>(connection);
    XTestKeyPoster poster(connection, keymap, nullptr);

    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Caps_Lock")}));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Num_Lock")}));
    EXPECT_EQ(poster.combinedModifierFlags(), 0u);
    ASSERT_TRUE(xdotool({QStringLiteral("keydown"), QStringLiteral("Shift_L"), QStringLiteral("keydown"), QStringLiteral("Super_L")}));
    EXPECT_TRUE(waitUntil([&] { return poster.combinedModifierFlags() == (ModifierFlag::shift | ModifierFlag::command); }));
    ASSERT_TRUE(xdotool({QStringLiteral("keyup"), QStringLiteral("Super_L"), QStringLiteral("keyup"), QStringLiteral("Shift_L")}));
    EXPECT_TRUE(waitUntil([&] { return poster.combinedModifierFlags() == 0u; }));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Caps_Lock")}));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("Num_Lock")}));
}
