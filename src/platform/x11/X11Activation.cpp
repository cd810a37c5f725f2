#include "platform/x11/X11Activation.h"

#include "platform/x11/X11Connection.h"

#include <QDeadlineTimer>

#include <cstring>

#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

std::unique_ptr<X11Activation> X11Activation::open()
{
    auto connection = X11Connection::open();
    if (!connection) return nullptr;
    Display* dpy = connection->display();
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    const Window window = XCreateWindow(dpy, connection->root(), -1, -1, 1, 1, 0, CopyFromParent, InputOnly,
                                        CopyFromParent, CWEventMask, &attributes);
    return std::unique_ptr<X11Activation>(new X11Activation(std::move(connection), window));
}

X11Activation::X11Activation(std::shared_ptr<X11Connection> connection, unsigned long timeWindow)
    : m_connection(std::move(connection)), m_timeWindow(timeWindow)
{
}

X11Activation::~X11Activation()
{
    XDestroyWindow(m_connection->display(), m_timeWindow);
    XFlush(m_connection->display());
}

unsigned long X11Activation::serverTime()
{
    Display* dpy = m_connection->display();
    const Atom property = m_connection->atom("SORELWICK_TIME");
    XChangeProperty(dpy, m_timeWindow, property, XA_STRING, 8, PropModeAppend, nullptr, 0);
    XEvent event;
    if (!m_connection->waitForEvent(
            m_timeWindow, PropertyNotify, [property](const XEvent& e) { return e.xproperty.atom == property; },
            event, QDeadlineTimer(1000)))
        return CurrentTime;
    return event.xproperty.time;
}

bool X11Activation::request(unsigned long window, const QByteArray& startupId)
{
    Display* dpy = m_connection->display();
    {
        X11Connection::ErrorTrap trap(*m_connection); // the window may be gone already
        XWindowAttributes attributes{};
        const bool read = XGetWindowAttributes(dpy, window, &attributes);
        if (trap.check() != 0 || !read || attributes.map_state != IsViewable) return false;
    }
    if (!startupId.isEmpty())
        XChangeProperty(dpy, window, m_connection->atom("_NET_STARTUP_ID"), m_connection->atom("UTF8_STRING"), 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(startupId.constData()),
                        int(startupId.size()));
    const unsigned long time = serverTime();
    XEvent message{};
    message.xclient.type = ClientMessage;
    message.xclient.window = window;
    message.xclient.message_type = m_connection->atom("_NET_ACTIVE_WINDOW");
    message.xclient.format = 32;
    message.xclient.data.l[0] = 1; // from an application
    message.xclient.data.l[1] = long(time);
    message.xclient.data.l[2] = 0;
    XSendEvent(dpy, m_connection->root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &message);
    endStartup(startupId); // after the window named it: the window manager reads the two in order
    XFlush(dpy);
    return true;
}

void X11Activation::endStartup(const QByteArray& startupId)
{
    if (startupId.isEmpty()) return;
    // The value quoted, as the protocol writes one that may hold a quote or a backslash.
    QByteArray text = "remove: ID=\"";
    for (const char c : startupId) {
        if (c == '"' || c == '\\') text += '\\';
        text += c;
    }
    text += "\"";
    text += '\0';
    // 20 bytes a message, the first as _NET_STARTUP_INFO_BEGIN, to the root's property listeners.
    Display* dpy = m_connection->display();
    for (qsizetype at = 0; at < text.size(); at += 20) {
        XEvent message{};
        message.xclient.type = ClientMessage;
        message.xclient.window = m_timeWindow;
        message.xclient.message_type = m_connection->atom(at == 0 ? "_NET_STARTUP_INFO_BEGIN" : "_NET_STARTUP_INFO");
        message.xclient.format = 8;
        const QByteArray part = text.mid(at, 20);
        std::memcpy(message.xclient.data.b, part.constData(), size_t(part.size()));
        XSendEvent(dpy, m_connection->root(), False, PropertyChangeMask, &message);
    }
    XFlush(dpy);
}
