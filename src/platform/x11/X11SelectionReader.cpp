#include "platform/x11/X11SelectionReader.h"

#include <QDeadlineTimer>

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

} // namespace

X11SelectionReader::X11SelectionReader(std::shared_ptr<X11Connection> connection, unsigned long selection)
    : m_connection(std::move(connection))
    , m_selection(selection)
    , m_property(m_connection->atom("SORELWICK_SELECTION"))
    , m_incr(m_connection->atom("INCR"))
{
    Display* dpy = m_connection->display();
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    m_window = XCreateWindow(dpy, m_connection->root(), -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent,
                             CWEventMask, &attributes);
    XFlush(dpy);
}

X11SelectionReader::~X11SelectionReader()
{
    XDestroyWindow(m_connection->display(), m_window);
    XFlush(m_connection->display());
}

const char* X11SelectionReader::describe(Failure failure)
{
    switch (failure) {
    case Failure::noOwner: return "no owner";
    case Failure::refused: return "refused";
    case Failure::timedOut: return "timed out";
    case Failure::tooLarge: return "too large";
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
        return Failure::timedOut;
    if (event.xselection.property == None) return Failure::refused;

    // First the size, then the whole property at once.
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* raw = nullptr;
    XGetWindowProperty(dpy, m_window, m_property, 0, 0, False, AnyPropertyType, &type, &format, &count, &after, &raw);
    XFreePtr<unsigned char>{raw};
    if (type == None) return Failure::refused;
    if (qint64(after) > sizeLimit) {
        XDeleteProperty(dpy, m_window, m_property);
        return Failure::tooLarge;
    }
    raw = nullptr;
    XGetWindowProperty(dpy, m_window, m_property, 0, LONG_MAX / 4, True, AnyPropertyType, &type, &format,
                       &count, &after, &raw);
    XFreePtr<unsigned char> data(raw);
    if (type != m_incr) return data ? bytesOf(data.get(), format, count) : QByteArray();

    // Pieces: each new value of the property is the next one; an empty one ends the transfer.
    if (data && format == 32 && count > 0
        && qint64(*reinterpret_cast<const unsigned long*>(data.get())) > sizeLimit)
        return Failure::tooLarge; // the announced size; the owner gives up when nobody reads
    QByteArray all;
    const auto newValue = [this](const XEvent& e) {
        return e.xproperty.atom == m_property && e.xproperty.state == PropertyNewValue;
    };
    for (;;) {
        if (!m_connection->waitForEvent(m_window, PropertyNotify, newValue, event, deadline))
            return Failure::timedOut;
        raw = nullptr;
        XGetWindowProperty(dpy, m_window, m_property, 0, LONG_MAX / 4, True, AnyPropertyType, &type, &format,
                           &count, &after, &raw);
        XFreePtr<unsigned char> piece(raw);
        if (count == 0) return all;
        all += bytesOf(piece.get(), format, count);
        if (all.size() > sizeLimit) return Failure::tooLarge;
    }
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
