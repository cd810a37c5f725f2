#include "platform/x11/X11SelectionReader.h"

#include <QDeadlineTimer>

#include <algorithm>
#include <climits>

#include "platform/x11/X11Connection.h"

#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

namespace {

// The bytes of a property as they travelled: Xlib hands format-32 items over as longs.
QByteArray bytesOf(const unsigned char* data, int format, unsigned long count)
{
    if (format == 32) {
        QByteArray out;
        out.reserve(qsizetype(count * 4));
        const auto* items = reinterpret_cast<const unsigned long*>(data);
        for (unsigned long i = 0; i < count; ++i) {
            const quint32 v = quint32(items[i]);
            out.append(reinterpret_cast<const char*>(&v), 4);
        }
        return out;
    }
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(count * unsigned(format / 8)));
}

// A property's type (None when there is none) and size in bytes, its data left where it is.
struct PropertySize {
    Atom type = None;
    unsigned long bytes = 0;
};
PropertySize sizeOf(Display* dpy, Window window, Atom property)
{
    PropertySize size;
    int format = 0;
    unsigned long count = 0;
    unsigned char* raw = nullptr;
    XGetWindowProperty(dpy, window, property, 0, 0, False, AnyPropertyType, &size.type, &format, &count, &size.bytes,
                       &raw);
    XFreePtr<unsigned char>{raw};
    return size;
}

} // namespace

X11SelectionReader::X11SelectionReader(std::shared_ptr<X11Connection> connection, unsigned long selection)
    : m_connection(std::move(connection))
    , m_selection(selection)
    , m_property(m_connection->atom("SORELWICK_SELECTION"))
    , m_incr(m_connection->atom("INCR"))
{
    m_window = newWindow();
    m_handler = m_connection->addHandler([this](XEvent& event) { onEvent(event); });
    XFlush(m_connection->display());
}

X11SelectionReader::~X11SelectionReader()
{
    m_connection->removeHandler(m_handler);
    XDestroyWindow(m_connection->display(), m_window);
    for (const Window window : m_abandoned) XDestroyWindow(m_connection->display(), window);
    XFlush(m_connection->display());
}

Window X11SelectionReader::newWindow() const
{
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    return XCreateWindow(m_connection->display(), m_connection->root(), -10, -10, 1, 1, 0, 0, InputOnly,
                         CopyFromParent, CWEventMask, &attributes);
}

const char* X11SelectionReader::describe(Failure failure)
{
    switch (failure) {
    case Failure::noOwner: return "no owner";
    case Failure::refused: return "refused";
    case Failure::timedOut: return "timed out";
    case Failure::tooLarge: return "too large";
    case Failure::brokenOff: return "broken off";
    }
    return "?";
}

X11SelectionReader::Result X11SelectionReader::read(unsigned long target)
{
    Display* dpy = m_connection->display();
    if (XGetSelectionOwner(dpy, m_selection) == None) return Failure::noOwner;
    const QDeadlineTimer deadline(timeLimitMs);

    // Leftovers of an earlier, abandoned read must not be taken for this one's answer.
    XEvent stale;
    while (XCheckTypedWindowEvent(dpy, m_window, SelectionNotify, &stale)) {}
    while (XCheckTypedWindowEvent(dpy, m_window, PropertyNotify, &stale)) {}
    XDeleteProperty(dpy, m_window, m_property);
    XConvertSelection(dpy, m_selection, target, m_property, m_window, CurrentTime);

    XEvent event;
    if (!m_connection->waitForEvent(
            m_window, SelectionNotify, [target](const XEvent& e) { return e.xselection.target == target; }, event,
            deadline))
        return abandon(Failure::timedOut); // a late answer, perhaps in pieces, goes elsewhere
    if (event.xselection.property == None) return Failure::refused;

    // First the size, then the whole property at once.
    const PropertySize size = sizeOf(dpy, m_window, m_property);
    if (size.type == None) return Failure::refused;
    if (size.type == m_incr) return readPieces();
    if (qint64(size.bytes) > sizeLimit) {
        XDeleteProperty(dpy, m_window, m_property);
        return Failure::tooLarge;
    }
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* raw = nullptr;
    XGetWindowProperty(dpy, m_window, m_property, 0, LONG_MAX / 4, True, AnyPropertyType, &type, &format,
                       &count, &after, &raw);
    XFreePtr<unsigned char> data(raw);
    return data ? bytesOf(data.get(), format, count) : QByteArray();
}

// The INCR property holds the size the owner announces (at least); its deletion asks for the
// first piece, each piece's deletion for the next, and an empty piece ends the transfer.
X11SelectionReader::Result X11SelectionReader::readPieces()
{
    Display* dpy = m_connection->display();
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* raw = nullptr;
    XGetWindowProperty(dpy, m_window, m_property, 0, 1, False, m_incr, &type, &format, &count, &after, &raw);
    const XFreePtr<unsigned char> announced(raw);
    if (announced && format == 32 && count == 1
        && qint64(*reinterpret_cast<const unsigned long*>(announced.get())) > sizeLimit)
        return abandon(Failure::tooLarge);

    // The owner wrote the INCR property before it answered, so that property's own notice is
    // still queued: only notices of changes made after our last deletion count. An event's
    // serial is that of the last request of ours the server had handled when it was sent.
    unsigned long since = NextRequest(dpy);
    XDeleteProperty(dpy, m_window, m_property);
    const auto newValue = [this, &since](const XEvent& e) {
        return e.xproperty.atom == m_property && e.xproperty.state == PropertyNewValue && e.xproperty.serial >= since;
    };
    const QDeadlineTimer whole(transferTimeLimitMs);
    QByteArray all;
    for (;;) {
        XEvent event;
        if (!m_connection->waitForEvent(m_window, PropertyNotify, newValue, event,
                                        QDeadlineTimer(std::min(timeLimitMs, whole.remainingTime()))))
            return abandon(Failure::timedOut);
        since = NextRequest(dpy);
        raw = nullptr;
        XGetWindowProperty(dpy, m_window, m_property, 0, LONG_MAX / 4, True, AnyPropertyType, &type, &format,
                           &count, &after, &raw);
        const XFreePtr<unsigned char> piece(raw);
        if (type == None) return abandon(Failure::brokenOff); // a new value, gone before we read it
        if (count == 0) return all;
        all += bytesOf(piece.get(), format, count);
        if (all.size() > sizeLimit) return abandon(Failure::tooLarge);
    }
}

// The owner may still be sending: it goes on into this window, whose pieces onEvent takes and
// drops until the last; the next reads use a new window, their answers apart from these pieces.
X11SelectionReader::Failure X11SelectionReader::abandon(Failure failure)
{
    Display* dpy = m_connection->display();
    XDeleteProperty(dpy, m_window, m_property); // whatever waits there: the owner goes on
    m_abandoned.append(m_window);
    m_window = newWindow();
    XFlush(dpy);
    return failure;
}

void X11SelectionReader::onEvent(const XEvent& event)
{
    if (event.type != PropertyNotify || event.xproperty.state != PropertyNewValue || event.xproperty.atom != m_property
        || !m_abandoned.contains(event.xproperty.window))
        return;
    Display* dpy = m_connection->display();
    const Window window = event.xproperty.window;
    const PropertySize size = sizeOf(dpy, window, m_property);
    if (size.type == None) return; // taken already
    XDeleteProperty(dpy, window, m_property);
    if (size.type != m_incr && size.bytes == 0) { // the empty last piece: the owner is done with the window
        m_abandoned.removeOne(window);
        XDestroyWindow(dpy, window);
    }
    XFlush(dpy);
}

std::variant<QList<unsigned long>, X11SelectionReader::Failure> X11SelectionReader::targets()
{
    Result result = read(m_connection->atom("TARGETS"));
    if (const auto* failure = std::get_if<Failure>(&result)) return *failure;
    const QByteArray& bytes = std::get<QByteArray>(result);
    QList<unsigned long> atoms;
    for (qsizetype i = 0; i + 4 <= bytes.size(); i += 4) {
        quint32 v = 0;
        memcpy(&v, bytes.constData() + i, 4);
        atoms.append(v);
    }
    return atoms;
}
