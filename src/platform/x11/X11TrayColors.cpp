#include "platform/x11/X11TrayColors.h"

#include "base/Log.h"
#include "platform/x11/X11Connection.h"

#include <QByteArray>
#include <QRgba64>

#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

X11TrayColors::X11TrayColors(std::shared_ptr<X11Connection> connection)
    : m_connection(std::move(connection))
{
    if (!m_connection) return;
    Display* dpy = m_connection->display();
    const QByteArray selection = "_NET_SYSTEM_TRAY_S" + QByteArray::number(DefaultScreen(dpy));
    m_trayAtom = m_connection->atom(selection.constData());
    m_colorsAtom = m_connection->atom("_NET_SYSTEM_TRAY_COLORS");
    m_managerAtom = m_connection->atom("MANAGER");
    // A new tray announces itself to the root window's structure listeners.
    XWindowAttributes attributes{};
    XGetWindowAttributes(dpy, m_connection->root(), &attributes);
    XSelectInput(dpy, m_connection->root(), attributes.your_event_mask | StructureNotifyMask);
    m_handler = m_connection->addHandler([this](XEvent& e) {
        const bool newTray = e.type == ClientMessage && e.xclient.window == m_connection->root()
                             && e.xclient.message_type == m_managerAtom
                             && static_cast<unsigned long>(e.xclient.data.l[1]) == m_trayAtom;
        const bool colours = e.type == PropertyNotify && m_watched && e.xproperty.window == m_watched
                             && e.xproperty.atom == m_colorsAtom;
        const bool gone = e.type == DestroyNotify && m_watched && e.xdestroywindow.window == m_watched;
        if (!newTray && !colours && !gone) return;
        if (gone) m_watched = 0;
        if (newTray) watchOwner();
        if (m_listener) m_listener();
    });
    watchOwner();
}

X11TrayColors::~X11TrayColors()
{
    if (m_connection) m_connection->removeHandler(m_handler);
}

unsigned long X11TrayColors::owner() const
{
    return m_connection ? XGetSelectionOwner(m_connection->display(), m_trayAtom) : 0;
}

void X11TrayColors::watchOwner()
{
    const unsigned long tray = owner();
    if (!tray || tray == m_watched) return;
    X11Connection::ErrorTrap trap(*m_connection); // the tray may be gone already
    XSelectInput(m_connection->display(), tray, PropertyChangeMask | StructureNotifyMask);
    m_watched = trap.check() ? 0 : tray;
}

std::optional<QColor> X11TrayColors::foreground() const
{
    const unsigned long tray = owner();
    if (!tray) return std::nullopt;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* raw = nullptr;
    X11Connection::ErrorTrap trap(*m_connection); // the tray may have just gone
    const int status = XGetWindowProperty(m_connection->display(), tray, m_colorsAtom, 0, 12, False, AnyPropertyType,
                                          &type, &format, &count, &after, &raw);
    XFreePtr<unsigned char> data(raw);
    if (trap.check() || status != Success || type == 0) return std::nullopt;
    if (type != XA_CARDINAL || format != 32 || count < 3) {
        Log::write(QStringLiteral("트레이가 알린 색(_NET_SYSTEM_TRAY_COLORS)이 CARDINAL 값 셋 이상이 아님: 형식 %1, 값 %2개")
                       .arg(format)
                       .arg(count));
        return std::nullopt;
    }
    // Xlib hands 32-bit items out as longs.
    const auto* rgb = reinterpret_cast<const unsigned long*>(data.get());
    if (rgb[0] > 0xffff || rgb[1] > 0xffff || rgb[2] > 0xffff) {
        Log::write(QStringLiteral("트레이가 알린 색(_NET_SYSTEM_TRAY_COLORS)이 16비트를 넘음: %1 %2 %3")
                       .arg(rgb[0])
                       .arg(rgb[1])
                       .arg(rgb[2]));
        return std::nullopt;
    }
    return QColor(QRgba64::fromRgba64(quint16(rgb[0]), quint16(rgb[1]), quint16(rgb[2]), 0xffff));
}
