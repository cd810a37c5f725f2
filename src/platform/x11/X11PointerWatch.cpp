#include "platform/x11/X11PointerWatch.h"

#include "base/Log.h"
#include "platform/x11/X11Connection.h"

#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

#include <X11/extensions/XInput2.h>

namespace {
// Buttons 4 to 7 are the wheel's turns; 8 and up are the side buttons, presses again.
bool isWheel(int button) { return button >= 4 && button <= 7; }
} // namespace

X11PointerWatch::X11PointerWatch(std::shared_ptr<X11Connection> connection)
    : m_connection(std::move(connection))
{
    if (!m_connection) return;
    Display* display = m_connection->display();
    int event = 0, error = 0;
    // Raw events reach every client during grabs from version 2.1 on.
    int major = 2, minor = 2;
    if (!XQueryExtension(display, "XInputExtension", &m_opcode, &event, &error)
        || XIQueryVersion(display, &major, &minor) != Success || major < 2 || (major == 2 && minor < 1)) {
        Log::write(QStringLiteral("XInput 2.1이 없어 패널 밖 클릭을 볼 수 없음"));
        m_opcode = -1;
        return;
    }
    m_handler = m_connection->addHandler([this](XEvent& e) {
        XGenericEventCookie& cookie = e.xcookie;
        if (cookie.type != GenericEvent || cookie.extension != m_opcode || cookie.evtype != XI_RawButtonPress) return;
        if (!XGetEventData(m_connection->display(), &cookie)) return;
        const int button = static_cast<XIRawEvent*>(cookie.data)->detail;
        XFreeEventData(m_connection->display(), &cookie);
        if (isWheel(button) || !m_pressed) return;
        const std::function<void()> pressed = m_pressed; // it may stop the watch
        pressed();
    });
}

X11PointerWatch::~X11PointerWatch()
{
    if (m_handler) m_connection->removeHandler(m_handler);
    if (m_pressed) select(false);
}

bool X11PointerWatch::watch(std::function<void()> pressed)
{
    if (m_opcode < 0) return false;
    const bool was = bool(m_pressed);
    m_pressed = std::move(pressed);
    if (was != bool(m_pressed)) select(bool(m_pressed));
    return true;
}

void X11PointerWatch::select(bool on)
{
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    if (on) XISetMask(bits, XI_RawButtonPress);
    XIEventMask mask{XIAllMasterDevices, int(sizeof bits), bits}; // all bits clear: unselected
    XISelectEvents(m_connection->display(), m_connection->root(), &mask, 1);
    XFlush(m_connection->display());
}
