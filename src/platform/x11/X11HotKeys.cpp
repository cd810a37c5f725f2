#include "platform/x11/X11HotKeys.h"

#include "base/Log.h"
#include "platform/x11/X11KeyTable.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMetaObject>

#include "platform/x11/X11Keymap.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <array>
#include <vector>

namespace {
constexpr unsigned int kHeldMask = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;
constexpr uint8_t kBadAccess = 10;
// A held key repeats every few tens of ms after a delay of about half a second; a "repeat" later
// than this is a new press whose release went past us.
constexpr quint32 kRepeatGapMs = 1500;
} // namespace

X11HotKeys::X11HotKeys(std::shared_ptr<X11Keymap> keymap)
    : m_keymap(std::move(keymap))
{
    if (auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr) {
        m_connection = x11->connection();
        if (const xcb_setup_t* setup = xcb_get_setup(m_connection)) {
            for (auto it = xcb_setup_roots_iterator(setup); it.rem; xcb_screen_next(&it))
                m_roots.push_back(it.data->root);
        }
    }
    if (!m_connection || m_roots.empty()) {
        Log::write(QStringLiteral("Qt가 X11 위에서 돌지 않아 전역 단축키를 쓸 수 없음"));
        m_connection = nullptr;
        return;
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
    if (m_keymap) m_keymapListener = m_keymap->addListener([this] { regrabAll(); });
}

X11HotKeys::~X11HotKeys()
{
    if (!m_connection) return;
    if (m_keymap) m_keymap->removeListener(m_keymapListener);
    if (auto* app = QCoreApplication::instance()) app->removeNativeEventFilter(this);
    for (auto& [ref, g] : m_grabs) ungrab(g);
    xcb_flush(m_connection);
}

void X11HotKeys::installEventHandler(Dispatch dispatch) { m_dispatch = std::move(dispatch); }

HotKeyService::Registration X11HotKeys::registerHotKey(quint32 keyCode, quint32 carbonModifiers, quint32 id)
{
    if (!m_connection || !m_keymap || keyCode > 0xFFFF) return {eventHotKeyInvalidErr, 0};
    Grab g{keyCode, X11KeyTable::maskForHotKeyModifiers(carbonModifiers), id, std::nullopt};
    const qint32 status = grab(g);
    if (status != noErr) return {status, 0};
    const quint64 ref = m_nextRef++;
    m_grabs.emplace(ref, g);
    return {noErr, ref};
}

void X11HotKeys::unregisterHotKey(quint64 ref)
{
    const auto it = m_grabs.find(ref);
    if (it == m_grabs.end()) return;
    ungrab(it->second);
    xcb_flush(m_connection);
    m_grabs.erase(it);
}

bool X11HotKeys::keyHeld()
{
    if (!m_connection || m_grabs.empty()) return false;
    xcb_query_keymap_reply_t* reply = xcb_query_keymap_reply(m_connection, xcb_query_keymap(m_connection), nullptr);
    if (!reply) return false;
    bool held = false;
    for (const auto& [ref, g] : m_grabs)
        if (g.keycode && (reply->keys[*g.keycode / 8] >> (*g.keycode % 8) & 1)) held = true;
    free(reply);
    return held;
}

qint32 X11HotKeys::grab(Grab& g)
{
    const auto keycode = m_keymap->keycode(quint16(g.ansiCode));
    if (!keycode) return eventHotKeyInvalidErr;
    const unsigned int numLock = m_keymap->numLockMask();
    const std::array<unsigned int, 4> locks{0u, XCB_MOD_MASK_LOCK, numLock, XCB_MOD_MASK_LOCK | numLock};

    std::vector<xcb_void_cookie_t> cookies;
    const int variants = numLock ? 4 : 2; // without a Num Lock modifier two variants are the same
    for (unsigned int root : m_roots)
        for (int i = 0; i < variants; ++i)
            cookies.push_back(xcb_grab_key_checked(m_connection, 1, root, uint16_t(g.mask | locks[i]), *keycode,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    qint32 status = noErr;
    for (const xcb_void_cookie_t& cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(m_connection, cookie)) {
            if (status == noErr)
                status = error->error_code == kBadAccess ? eventHotKeyExistsErr : eventHotKeyInvalidErr;
            free(error);
        }
    }
    g.keycode = *keycode;
    g.numLock = numLock;
    if (status != noErr) ungrab(g); // another client holds it: none of ours stays
    return status;
}

void X11HotKeys::ungrab(Grab& g)
{
    if (!g.keycode) return;
    const unsigned int numLock = g.numLock;
    for (unsigned int root : m_roots)
        for (unsigned int lock : {0u, unsigned(XCB_MOD_MASK_LOCK), numLock, XCB_MOD_MASK_LOCK | numLock})
            xcb_ungrab_key(m_connection, *g.keycode, root, uint16_t(g.mask | lock));
    g.keycode.reset();
}

void X11HotKeys::regrabAll()
{
    for (auto& [ref, g] : m_grabs) {
        ungrab(g);
        if (const qint32 status = grab(g); status != noErr)
            Log::write(QStringLiteral("배열이 바뀐 뒤 단축키를 다시 잡지 못함: %1").arg(status));
    }
    xcb_flush(m_connection);
}

bool X11HotKeys::repeats(unsigned char keycode, quint32 time) const
{
    // Detectable auto-repeat sends presses alone; the classic kind a release and a press with
    // one time stamp.
    return (m_held == keycode && time - m_lastPress < kRepeatGapMs)
        || (m_lastRelease && m_lastRelease->first == keycode && m_lastRelease->second == time);
}

bool X11HotKeys::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    const uint8_t type = event->response_type & 0x7F;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE) return false;
    const auto* key = static_cast<const xcb_key_press_event_t*>(message);
    const bool onRoot = std::find(m_roots.begin(), m_roots.end(), key->event) != m_roots.end();
    for (const auto& [ref, g] : m_grabs) {
        if (!g.keycode || *g.keycode != key->detail) continue;
        // Releases are followed whatever window they come to: the panel may take the keyboard
        // while the key is held, and the repeats and the release then come to its window.
        if (type == XCB_KEY_RELEASE) {
            if (m_held == key->detail) m_held.reset();
            m_lastRelease = std::make_pair(key->detail, key->time);
            return onRoot;
        }
        const bool repeat = repeats(key->detail, key->time);
        if (!onRoot && !repeat) return false; // a key typed into our own window
        // A repeat is the hot key's, never a key of the panel's.
        m_held = key->detail;
        m_lastPress = key->time;
        if (!onRoot) return true;
        if ((key->state & kHeldMask) != g.mask) continue;
        if (m_dispatch && !repeat) {
            // Outside Qt's event processing, as a hot-key callback would arrive.
            QMetaObject::invokeMethod(QCoreApplication::instance(),
                                      [dispatch = m_dispatch, id = g.id] { dispatch(id); }, Qt::QueuedConnection);
        }
        return true;
    }
    return false;
}
