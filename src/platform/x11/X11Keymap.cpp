#include "platform/x11/X11Keymap.h"

#include "base/Log.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11KeyTable.h"

#include <xkbcommon/xkbcommon.h>

#include <set>

#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

namespace {
// XkbFreeKeyboard as a deleter.
struct XkbDescDeleter {
    void operator()(XkbDescPtr desc) const
    {
        if (desc) XkbFreeKeyboard(desc, 0, True);
    }
};
} // namespace

X11Keymap::X11Keymap(std::shared_ptr<X11Connection> connection)
    : m_connection(std::move(connection))
{
    Display* dpy = m_connection->display();
    int opcode = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    if (XkbQueryExtension(dpy, &opcode, &m_xkbEventBase, &error, &major, &minor)) {
        const unsigned long mask = XkbNewKeyboardNotifyMask | XkbMapNotifyMask;
        XkbSelectEvents(dpy, XkbUseCoreKbd, mask, mask);
    } else {
        m_xkbEventBase = -1;
        Log::write(QStringLiteral("X 서버에 XKB가 없어 글쇠 이름은 US 배열로"));
    }
    m_handler = m_connection->addHandler([this](XEvent& e) { onEvent(e); });
}

X11Keymap::~X11Keymap() { m_connection->removeHandler(m_handler); }

void X11Keymap::onEvent(XEvent& event)
{
    if (event.type == MappingNotify) {
        XRefreshKeyboardMapping(&event.xmapping);
        refresh();
        return;
    }
    if (m_xkbEventBase < 0 || event.type != m_xkbEventBase) return;
    const auto* xkb = reinterpret_cast<XkbAnyEvent*>(&event);
    if (xkb->xkb_type == XkbMapNotify) {
        XkbRefreshKeyboardMapping(reinterpret_cast<XkbMapNotifyEvent*>(&event));
        refresh();
    } else if (xkb->xkb_type == XkbNewKeyboardNotify) {
        refresh();
    }
}

void X11Keymap::refresh()
{
    m_byName.reset();
    // Listeners may re-grab keys, which asks this keymap again.
    std::set<int> ids;
    for (const auto& [id, listener] : m_listeners) ids.insert(id);
    for (int id : ids)
        if (const auto it = m_listeners.find(id); it != m_listeners.end()) {
            const auto listener = it->second;
            listener();
        }
}

std::optional<XKeyCode> X11Keymap::keycodeForKeysym(unsigned long keysym)
{
    const XKeyCode code = XKeysymToKeycode(m_connection->display(), keysym);
    if (code == 0) return std::nullopt;
    return code;
}

std::optional<XKeyCode> X11Keymap::keycode(quint16 ansiCode)
{
    const auto key = X11KeyTable::find(ansiCode);
    if (!key) return std::nullopt;
    if (!m_byName) {
        m_byName.emplace();
        std::unique_ptr<XkbDescRec, XkbDescDeleter> desc(XkbGetMap(m_connection->display(), 0, XkbUseCoreKbd));
        if (desc && XkbGetNames(m_connection->display(), XkbKeyNamesMask, desc.get()) == Success
            && desc->names && desc->names->keys) {
            for (int code = desc->min_key_code; code <= desc->max_key_code; ++code) {
                const char* name = desc->names->keys[code].name;
                const QByteArray n(name, int(qstrnlen(name, XkbKeyNameLength)));
                if (!n.isEmpty() && !m_byName->contains(n)) m_byName->insert(n, XKeyCode(code));
            }
        }
    }
    const auto byName = [&]() -> std::optional<XKeyCode> {
        const auto it = m_byName->constFind(QByteArray(key->xkbName));
        if (it == m_byName->constEnd()) return std::nullopt;
        return *it;
    };
    if (key->byPosition) {
        if (const auto code = byName()) return code;
        return keycodeForKeysym(key->keysym);
    }
    if (const auto code = keycodeForKeysym(key->keysym)) return code;
    return byName();
}

std::optional<XKeyCode> X11Keymap::keycodeTyping(quint16 ansiCode)
{
    const auto key = X11KeyTable::find(ansiCode);
    if (key && key->byPosition && key->keysym >= XK_a && key->keysym <= XK_z)
        if (const auto code = keycodeForKeysym(key->keysym)) return code;
    return keycode(ansiCode);
}

unsigned int X11Keymap::numLockMask()
{
    const auto numLock = keycodeForKeysym(XK_Num_Lock);
    if (!numLock) return 0;
    XModifierKeymap* map = XGetModifierMapping(m_connection->display());
    if (!map) return 0;
    unsigned int mask = 0;
    for (int mod = 0; mod < 8 && !mask; ++mod)
        for (int i = 0; i < map->max_keypermod; ++i)
            if (map->modifiermap[mod * map->max_keypermod + i] == *numLock) {
                mask = 1u << mod;
                break;
            }
    XFreeModifiermap(map);
    return mask;
}

std::optional<QString> X11Keymap::keyLabel(quint32 keyCode)
{
    if (keyCode > 0xFFFF) return std::nullopt;
    const auto code = keycode(quint16(keyCode));
    if (!code) return std::nullopt;
    Display* dpy = m_connection->display();
    XkbStateRec state{};
    const int group = XkbGetState(dpy, XkbUseCoreKbd, &state) == Success ? state.group : 0;
    KeySym keysym = XkbKeycodeToKeysym(dpy, *code, group, 0);
    if (keysym == NoSymbol) keysym = XkbKeycodeToKeysym(dpy, *code, 0, 0);
    const char32_t ucs = keysym == NoSymbol ? 0 : xkb_keysym_to_utf32(xkb_keysym_t(keysym));
    if (ucs == 0) return std::nullopt;
    return QString::fromUcs4(&ucs, 1);
}

int X11Keymap::addListener(std::function<void()> listener)
{
    const int id = m_nextListener++;
    m_listeners.emplace(id, std::move(listener));
    return id;
}

void X11Keymap::removeListener(int id) { m_listeners.erase(id); }
