#include "platform/x11/XTestKeyPoster.h"

#include "base/Log.h"
#include "platform/Workspace.h"
#include "platform/x11/X11KeyTable.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <vector>

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Keymap.h"

#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

namespace {
// The keys pressed for each flag, in pressing order.
struct ModifierKey {
    quint64 flag;
    KeySym keysym;
};
constexpr ModifierKey kModifierKeys[] = {
    {ModifierFlag::control, XK_Control_L},
    {ModifierFlag::option, XK_Alt_L},
    {ModifierFlag::shift, XK_Shift_L},
    {ModifierFlag::command, XK_Super_L},
};

// Makes sure the server has carried out every request Qt sent so far.
void syncQtConnection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11) return;
    xcb_connection_t* c = x11->connection();
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}
} // namespace

XTestKeyPoster::XTestKeyPoster(std::shared_ptr<X11Connection> connection, std::shared_ptr<X11Keymap> keymap,
                               std::shared_ptr<Workspace> workspace, bool onlyXWindows)
    : m_connection(std::move(connection))
    , m_keymap(std::move(keymap))
    , m_workspace(std::move(workspace))
    , m_onlyXWindows(onlyXWindows)
{
    if (!m_connection || !m_keymap) return; // no X display: nothing can be posted
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    m_hasXTest = XTestQueryExtension(m_connection->display(), &eventBase, &errorBase, &major, &minor);
    if (!m_hasXTest) Log::write(QStringLiteral("X 서버에 XTEST가 없어 키를 보낼 수 없음"));
}

quint64 XTestKeyPoster::combinedModifierFlags()
{
    if (!m_connection) return 0;
    XkbStateRec state{};
    if (XkbGetState(m_connection->display(), XkbUseCoreKbd, &state) != Success) return 0;
    // base_mods: keys held down now; locked Caps Lock and Num Lock are elsewhere.
    return X11KeyTable::flagsForMask(state.base_mods);
}

bool XTestKeyPoster::postKeyEvent(quint16 keyCode, quint64 flags, bool keyDown)
{
    if (!reachesFront()) {
        Log::write(QStringLiteral("XWayland 밖의 창이 키보드를 가져 키를 보내지 않음"));
        return false;
    }
    return post(keyCode, flags, keyDown, !keyDown, true);
}

bool XTestKeyPoster::reachesFront()
{
    return m_hasXTest && (!m_onlyXWindows || m_workspace->frontmostApplication());
}

bool XTestKeyPoster::postKeyDown(Pid pid, quint16 keyCode, quint64 flags, quint32 nativeKey)
{
    if (!m_hasXTest) return false;
    const auto front = m_workspace->frontmostApplication();
    if (!front || front->pid != pid) {
        Log::write(QStringLiteral("맨 앞 앱이 바뀌어 키를 넘기지 않음"));
        return false;
    }
    syncQtConnection();
    // A modifier the user still holds is in force already; pressed and let go here, it would be
    // up for the keys typed next.
    const quint64 unheld = flags & ~combinedModifierFlags();
    // X keycodes run from 8 to 255.
    const auto key = nativeKey >= 8 && nativeKey <= 255 ? std::optional<XKeyCode>(XKeyCode(nativeKey))
                                                        : keycodeOf(keyCode, false);
    return key && handBack(*key, unheld);
}

bool XTestKeyPoster::handBack(XKeyCode key, quint64 flags)
{
    // The user is most likely still holding the key. Where their keys come through XTEST too (a
    // VNC server, a test), the server ignores a press of a key that is down and the key would be
    // lost: let it go first. A key held on another keyboard is not ours to release, and the
    // server ignores this release there.
    char keys[32] = {};
    XQueryKeymap(m_connection->display(), keys);
    if (keys[key / 8] & (1 << (key % 8))) XTestFakeKeyEvent(m_connection->display(), key, False, CurrentTime);
    return postKeycode(key, flags, true, true);
}

std::optional<XKeyCode> XTestKeyPoster::keycodeOf(quint16 keyCode, bool byMeaning)
{
    const auto key = byMeaning ? m_keymap->keycodeTyping(keyCode) : m_keymap->keycode(keyCode);
    if (!key) Log::write(QStringLiteral("이 키보드에 없는 키라 보내지 못함: %1").arg(keyCode));
    return key;
}

bool XTestKeyPoster::post(quint16 keyCode, quint64 flags, bool down, bool up, bool byMeaning)
{
    if (!m_hasXTest) return false;
    const auto key = keycodeOf(keyCode, byMeaning);
    return key && postKeycode(*key, flags, down, up);
}

bool XTestKeyPoster::postKeycode(XKeyCode key, quint64 flags, bool down, bool up)
{
    if (!m_hasXTest) return false;
    std::vector<XKeyCode> modifiers;
    for (const ModifierKey& m : kModifierKeys) {
        if (!(flags & m.flag)) continue;
        const auto code = m_keymap->keycodeForKeysym(m.keysym);
        if (!code) {
            Log::write(QStringLiteral("수정자 키가 키보드에 없어 보내지 못함"));
            return false;
        }
        modifiers.push_back(*code);
    }
    Display* dpy = m_connection->display();
    if (down) {
        for (XKeyCode m : modifiers) XTestFakeKeyEvent(dpy, m, True, CurrentTime);
        XTestFakeKeyEvent(dpy, key, True, CurrentTime);
    }
    if (up) {
        XTestFakeKeyEvent(dpy, key, False, CurrentTime);
        for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) XTestFakeKeyEvent(dpy, *it, False, CurrentTime);
    }
    XFlush(dpy);
    return true;
}
