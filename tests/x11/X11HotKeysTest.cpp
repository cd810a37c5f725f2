#include "DesktopTestSupport.h"

#include "platform/Types.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11HotKeys.h"
#include "platform/x11/X11Keymap.h"
#include "platform/x11/XTestKeyPoster.h"


#include <gtest/gtest.h>

#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

using namespace DesktopTest;

namespace {

constexpr quint32 kCtrlAlt = 0x1800; // control 0x1000 | option 0x800
constexpr quint16 kJ = 38;
constexpr quint32 kMarker = 99;

class X11HotKeysTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        connection = X11Connection::open();
        ASSERT_TRUE(connection);
        keymap = std::make_shared<X11Keymap>(connection);
        hotKeys = std::make_unique<X11HotKeys>(keymap);
        hotKeys->installEventHandler([this](quint32 id) { pressed.append(id); });
        ASSERT_EQ(hotKeys->registerHotKey(40, kCtrlAlt, kMarker).status, HotKeyService::noErr); // Ctrl+Alt+K
    }
    void TearDown() override
    {
        // Leave the locks off and the US layout for the next test.
        setLock(XK_Num_Lock, false);
        setLock(XK_Caps_Lock, false);
        run(QStringLiteral("setxkbmap"),
                            {QStringLiteral("-layout"), QStringLiteral("us"), QStringLiteral("-variant"), QString()});
    }

    unsigned int lockedMods()
    {
        XkbStateRec state{};
        XkbGetState(connection->display(), XkbUseCoreKbd, &state);
        return state.locked_mods;
    }
    void setLock(unsigned long keysym, bool on)
    {
        const unsigned int mask = keysym == XK_Caps_Lock ? LockMask : keymap->numLockMask();
        if (bool(lockedMods() & mask) == on) return;
        xdotool({QStringLiteral("key"), QString::fromLatin1(keysym == XK_Caps_Lock ? "Caps_Lock" : "Num_Lock")});
        ASSERT_TRUE(waitUntil([&] { return bool(lockedMods() & mask) == on; }));
    }
    // Whether a press of chord reaches hot key id. A registered marker combination is pressed
    // right after it: once the marker arrived, the chord's press would have too.
    bool pressReaches(const QString& chord, quint32 id)
    {
        pressed.clear();
        if (!xdotool({QStringLiteral("key"), chord, QStringLiteral("ctrl+alt+k")})) return false;
        if (!waitUntil([&] { return pressed.contains(kMarker); })) return false;
        return pressed.contains(id);
    }

    std::shared_ptr<X11Connection> connection;
    std::shared_ptr<X11Keymap> keymap;
    std::unique_ptr<X11HotKeys> hotKeys;
    QList<quint32> pressed;
};

} // namespace

TEST_F(X11HotKeysTest, pressArrivesWithAndWithoutLocksAndItsKeyReadsAsHeldUntilLetGo)
{
    const auto reg = hotKeys->registerHotKey(KeyCode::h, kCtrlAlt, 7);
    ASSERT_EQ(reg.status, HotKeyService::noErr);
    ASSERT_NE(keymap->numLockMask(), 0u); // the test means something only with a Num Lock modifier

    // Every state of the locks, turned on and off one at a time.
    for (const auto& [num, caps] :
         {std::pair(false, false), std::pair(true, false), std::pair(true, true), std::pair(false, true)}) {
        setLock(XK_Num_Lock, num);
        setLock(XK_Caps_Lock, caps);
        EXPECT_TRUE(pressReaches(QStringLiteral("ctrl+alt+h"), 7)) << "Num Lock " << num << ", Caps Lock " << caps;
    }
    setLock(XK_Caps_Lock, false);

    // Other modifiers are another combination.
    EXPECT_FALSE(pressReaches(QStringLiteral("ctrl+alt+shift+h"), 7));

    hotKeys->unregisterHotKey(reg.ref);
    EXPECT_FALSE(pressReaches(QStringLiteral("ctrl+alt+h"), 7));
    // Free again for anyone, ourselves included.
    EXPECT_EQ(hotKeys->registerHotKey(KeyCode::h, kCtrlAlt, 8).status, HotKeyService::noErr);
    EXPECT_TRUE(pressReaches(QStringLiteral("ctrl+alt+h"), 8));

    // While the hot key's own key is down the server gives every key to the grab: a synthetic
    // keystroke has to wait for it, and the modifiers alone say nothing of it.
    pressed.clear();
    EXPECT_FALSE(hotKeys->keyHeld());
    ASSERT_TRUE(xdotool({QStringLiteral("keydown"), QStringLiteral("ctrl+alt+h")}));
    ASSERT_TRUE(xdotool({QStringLiteral("keyup"), QStringLiteral("ctrl+alt")}));
    EXPECT_TRUE(waitUntil([&] { return pressed.contains(8); }));
    EXPECT_TRUE(hotKeys->keyHeld());
    // Another key down is not the hot key's.
    ASSERT_TRUE(xdotool({QStringLiteral("keyup"), QStringLiteral("h")}));
    ASSERT_TRUE(xdotool({QStringLiteral("keydown"), QStringLiteral("j")}));
    EXPECT_FALSE(hotKeys->keyHeld());
    ASSERT_TRUE(xdotool({QStringLiteral("keyup"), QStringLiteral("j")}));
}

TEST_F(X11HotKeysTest, combinationHeldByAnotherClientIsRefused)
{
    auto other = X11Connection::open();
    const auto code = keymap->keycode(KeyCode::h);
    ASSERT_TRUE(code);
    // Another client grabs Ctrl+Alt+H with Num Lock on only: any lock variant counts.
    XGrabKey(other->display(), *code, ControlMask | Mod1Mask | keymap->numLockMask(), other->root(), True,
             GrabModeAsync, GrabModeAsync);
    XSync(other->display(), False);

    EXPECT_EQ(hotKeys->registerHotKey(KeyCode::h, kCtrlAlt, 1).status, HotKeyService::eventHotKeyExistsErr);
    // Nothing of ours stayed grabbed: once the other lets go, the combination is free.
    XUngrabKey(other->display(), *code, ControlMask | Mod1Mask | keymap->numLockMask(), other->root());
    XSync(other->display(), False);
    EXPECT_EQ(hotKeys->registerHotKey(KeyCode::h, kCtrlAlt, 2).status, HotKeyService::noErr);
    // A key the core never names cannot be grabbed.
    EXPECT_EQ(hotKeys->registerHotKey(10, kCtrlAlt, 3).status, HotKeyService::eventHotKeyInvalidErr);
}

TEST_F(X11HotKeysTest, layoutChangesRenameKeysKeepGrabsOnTheirPositionAndFindTheHanjaKey)
{
    EXPECT_EQ(keymap->keyLabel(kJ), QStringLiteral("j"));
    EXPECT_EQ(keymap->keyLabel(29), QStringLiteral("0"));
    ASSERT_EQ(hotKeys->registerHotKey(KeyCode::h, kCtrlAlt, 5).status, HotKeyService::noErr);

    ASSERT_TRUE(run(QStringLiteral("setxkbmap"), {QStringLiteral("ru")}));
    EXPECT_TRUE(waitUntil([&] { return keymap->keyLabel(kJ) == QStringLiteral("о"); }));
    EXPECT_EQ(keymap->keyLabel(KeyCode::h), QStringLiteral("р"));

    // The press of the key where H was still arrives: posted by position.
    XTestKeyPoster poster(connection, keymap, nullptr);
    pressed.clear();
    ASSERT_TRUE(poster.postKeyEvent(KeyCode::h, ModifierFlag::control | ModifierFlag::option, true));
    ASSERT_TRUE(poster.postKeyEvent(KeyCode::h, ModifierFlag::control | ModifierFlag::option, false));
    EXPECT_TRUE(waitUntil([&] { return pressed.contains(5u); }));

    // Ctrl+한자 on a Korean keyboard: the key is found by what it types, on its own key or on the
    // right Ctrl where 101/104-key keyboards put it.
    constexpr quint32 kCtrl = 0x1000;
    ASSERT_TRUE(run(QStringLiteral("setxkbmap"), {QStringLiteral("kr")}));
    ASSERT_TRUE(waitUntil([&] { return keymap->keycode(KeyCode::hanja).has_value(); }));
    ASSERT_EQ(hotKeys->registerHotKey(KeyCode::hanja, kCtrl, 6).status, HotKeyService::noErr);
    EXPECT_TRUE(pressReaches(QStringLiteral("ctrl+Hangul_Hanja"), 6));
    EXPECT_FALSE(pressReaches(QStringLiteral("Hangul_Hanja"), 6));

    const auto ownKey = keymap->keycode(KeyCode::hanja);
    ASSERT_TRUE(run(QStringLiteral("setxkbmap"),
                                    {QStringLiteral("-layout"), QStringLiteral("kr"), QStringLiteral("-variant"),
                                     QStringLiteral("kr104")}));
    ASSERT_TRUE(waitUntil([&] { return keymap->keycode(KeyCode::hanja) != ownKey; }));
    EXPECT_TRUE(pressReaches(QStringLiteral("ctrl+Hangul_Hanja"), 6));
}

// An X server of its own with two screens (as DISPLAY=:N.0 and :N.1 name them), no window manager:
// the keyboard goes to the screen the pointer is on. The hot key fires on each of them, whichever
// screen Sorelwick itself runs on.
TEST(X11HotKeysScreens, aPressOnEitherScreenReachesTheHotKey)
{
    const auto server = LaunchedApp::start(
        QStringLiteral("Xvfb"), QStringLiteral("-displayfd 1 -screen 0 640x480x24 -screen 1 640x480x24 -nolisten tcp").split(u' '));
    ASSERT_TRUE(server && waitUntil([&] { return server->process().canReadLine(); }, 20s)) << "Xvfb with two screens did not start";
    const QString display = QStringLiteral(":") + QString::fromLatin1(server->process().readLine().trimmed());
    const auto listener = LaunchedApp::start(QStringLiteral("env"), {QStringLiteral("DISPLAY=") + display + QStringLiteral(".1"),
                                                                     QStringLiteral(SORELWICK_X11_HELPER), QStringLiteral("hotkey")});
    ASSERT_TRUE(listener && listener->said("ready"));
    for (int screen : {0, 1}) {
        const auto where = run(QStringLiteral("env"),
                               {QStringLiteral("DISPLAY=") + display, QStringLiteral("xdotool"), QStringLiteral("mousemove"),
                                QStringLiteral("--screen"), QString::number(screen), QStringLiteral("100"), QStringLiteral("100"),
                                QStringLiteral("getmouselocation"), QStringLiteral("key"), QStringLiteral("ctrl+alt+k")});
        EXPECT_TRUE(where && where->contains("screen:" + QByteArray::number(screen))) << "the pointer is not on screen " << screen;
        EXPECT_TRUE(listener->said("pressed", screen + 1)) << "a press on screen " << screen;
    }
}
