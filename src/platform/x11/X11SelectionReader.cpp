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
    m_handler = m_connection->addHandler([this](XEvent& event) { onEvent(event); });
    XFlush(m_connection->display());
}

X11SelectionReader::~X11SelectionReader()
{
    m_connection->removeHandler(m_handler);
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

QCoro::Task<X11SelectionReader::Result> X11SelectionReader::read(unsigned long target)
{
    if (XGetSelectionOwner(m_connection->display(), m_selection) == None) co_return Failure::noOwner;
    const Window window = newWindow();
    Result result = co_await readInto(window, target);
    // A transfer given up keeps its window until the owner is done with it.
    if (!m_abandoned.contains(window)) XDestroyWindow(m_connection->display(), window);
    XFlush(m_connection->display());
    co_return result;
}

QCoro::Task<X11SelectionReader::Result> X11SelectionReader::readInto(unsigned long window, unsigned long target)
{
    Display* dpy = m_connection->display();
    XConvertSelection(dpy, m_selection, target, m_property, window, CurrentTime);
    const std::optional<XEvent> answer = co_await m_connection->nextEvent(
        window, SelectionNotify, [target](const XEvent& e) { return e.xselection.target == target; },
        QDeadlineTimer(timeLimitMs));
    if (!answer) co_return abandon(window, Failure::timedOut); // a late answer, perhaps in pieces
    if (answer->xselection.property == None) co_return Failure::refused;

    // First the size, then the whole property at once.
    const PropertySize size = sizeOf(dpy, window, m_property);
    if (size.type == None) co_return Failure::refused;
    if (size.type == m_incr) co_return co_await readPieces(window);
    if (qint64(size.bytes) > sizeLimit) co_return Failure::tooLarge;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* raw = nullptr;
    XGetWindowProperty(dpy, window, m_property, 0, LONG_MAX / 4, True, AnyPropertyType, &type, &format, &count,
                       &after, &raw);
    XFreePtr<unsigned char> data(raw);
    co_return data ? bytesOf(data.get(), format, count) : QByteArray();
}

// The INCR property holds the size the owner announces (at least); its deletion asks for the
// first piece, each piece's deletion for the next, and an empty piece ends the transfer.
QCoro::Task<X11SelectionReader::Result> X11SelectionReader::readPieces(unsigned long window)
{
    Display* dpy = m_connection->display();
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* raw = nullptr;
    XGetWindowProperty(dpy, window, m_property, 0, 1, False, m_incr, &type, &format, &count, &after, &raw);
    const XFreePtr<unsigned char> announced(raw);
    if (announced && format == 32 && count == 1
        && qint64(*reinterpret_cast<const unsigned long*>(announced.get())) > sizeLimit)
        co_return abandon(window, Failure::tooLarge);

    // The owner wrote the INCR property before it answered, so that property's own notice may
    // still be queued: only notices of changes made after our last deletion count. An event's
    // serial is that of the last request of ours the server had handled when it was sent.
    unsigned long since = NextRequest(dpy);
    XDeleteProperty(dpy, window, m_property);
    const QDeadlineTimer whole(transferTimeLimitMs);
    QByteArray all;
    for (;;) {
        const std::optional<XEvent> notice = co_await m_connection->nextEvent(
            window, PropertyNotify,
            [this, since](const XEvent& e) {
                return e.xproperty.atom == m_property && e.xproperty.state == PropertyNewValue
                    && e.xproperty.serial >= since;
            },
            QDeadlineTimer(std::min(timeLimitMs, whole.remainingTime())));
        if (!notice) co_return abandon(window, Failure::timedOut);
        since = NextRequest(dpy);
        raw = nullptr;
        XGetWindowProperty(dpy, window, m_property, 0, LONG_MAX / 4, True, AnyPropertyType, &type, &format, &count,
                           &after, &raw);
        const XFreePtr<unsigned char> piece(raw);
        if (type == None) co_return abandon(window, Failure::brokenOff); // a new value, gone before we read it
        if (count == 0) co_return all;
        all += bytesOf(piece.get(), format, count);
        if (all.size() > sizeLimit) co_return abandon(window, Failure::tooLarge);
    }
}

// The owner may still be sending: it goes on into this window, whose pieces onEvent takes and
// drops until the last.
X11SelectionReader::Failure X11SelectionReader::abandon(unsigned long window, Failure failure)
{
    XDeleteProperty(m_connection->display(), window, m_property); // whatever waits there: the owner goes on
    m_abandoned.append(window);
    XFlush(m_connection->display());
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

QCoro::Task<std::variant<QList<unsigned long>, X11SelectionReader::Failure>> X11SelectionReader::targets()
{
    const Result result = co_await read(m_connection->atom("TARGETS"));
    if (const auto* failure = std::get_if<Failure>(&result)) co_return *failure;
    const QByteArray& bytes = std::get<QByteArray>(result);
    QList<unsigned long> atoms;
    for (qsizetype i = 0; i + 4 <= bytes.size(); i += 4) {
        quint32 v = 0;
        memcpy(&v, bytes.constData() + i, 4);
        atoms.append(v);
    }
    co_return atoms;
}
