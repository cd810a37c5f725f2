#include "platform/x11/X11SelectionOwner.h"

#include "base/Log.h"

#include <QDeadlineTimer>

#include <algorithm>

#include <poll.h>

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Properties.h"

#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

namespace {

// Names under which programs ask for plain text, and how the answer is typed.
struct TextAlias {
    const char* target;
    const char* type;
};
constexpr TextAlias kTextAliases[] = {
    {"UTF8_STRING", "UTF8_STRING"}, {"text/plain;charset=utf-8", "text/plain;charset=utf-8"},
    {"TEXT", "UTF8_STRING"}, {"STRING", "STRING"}};

bool isText(const QString& target)
{
    return target == Pasteboard::stringType
        || std::any_of(std::begin(kTextAliases), std::end(kTextAliases),
                       [&](const TextAlias& a) { return target == QLatin1String(a.target); });
}

} // namespace

X11SelectionOwner::X11SelectionOwner(std::shared_ptr<X11Connection> connection, unsigned long selection)
    : m_connection(std::move(connection))
    , m_selection(selection)
{
    Display* dpy = m_connection->display();
    XSetWindowAttributes attributes{};
    attributes.event_mask = PropertyChangeMask;
    m_window = XCreateWindow(dpy, m_connection->root(), -10, -10, 1, 1, 0, 0, InputOnly, CopyFromParent,
                             CWEventMask, &attributes);
    // Pieces must fit in one request.
    m_chunk = std::clamp<qsizetype>(qsizetype(XMaxRequestSize(dpy)) * 4 - 1024, 4096, 256 * 1024);
    m_handler = m_connection->addHandler([this](XEvent& e) { onEvent(e); });
    XFlush(dpy);
}

X11SelectionOwner::~X11SelectionOwner()
{
    m_connection->removeHandler(m_handler);
    for (const Transfer& t : m_transfers) XSelectInput(m_connection->display(), t.requestor, NoEventMask);
    XDestroyWindow(m_connection->display(), m_window); // ends our ownership too
    XFlush(m_connection->display());
}

// The server's time now, from the note of a property change of our own.
unsigned long X11SelectionOwner::serverTime()
{
    Display* dpy = m_connection->display();
    const Atom property = m_connection->atom("SORELWICK_TIME");
    XChangeProperty(dpy, m_window, property, XA_STRING, 8, PropModeAppend, nullptr, 0);
    const QDeadlineTimer deadline(1000);
    XEvent event;
    if (!m_connection->waitForEvent(
            m_window, PropertyNotify, [property](const XEvent& e) { return e.xproperty.atom == property; }, event,
            deadline))
        return CurrentTime;
    return event.xproperty.time;
}

bool X11SelectionOwner::own(const PasteboardItem& item)
{
    Display* dpy = m_connection->display();
    const unsigned long time = serverTime();
    XSetSelectionOwner(dpy, m_selection, m_window, time);
    if (XGetSelectionOwner(dpy, m_selection) != m_window) {
        Log::write(QStringLiteral("선택 영역(%1)을 차지하지 못함").arg(m_connection->atomName(m_selection)));
        m_ownedSince = 0;
        return false;
    }
    m_item = item;
    m_textReaders.clear();
    m_ownedSince = time == CurrentTime ? 1 : time;
    return true;
}

void X11SelectionOwner::disown()
{
    if (!m_ownedSince) return;
    Display* dpy = m_connection->display();
    if (XGetSelectionOwner(dpy, m_selection) == m_window) XSetSelectionOwner(dpy, m_selection, None, CurrentTime);
    XFlush(dpy);
    m_ownedSince = 0;
    m_item.clear();
    m_textReaders.clear();
}

X11SelectionOwner::HandOver X11SelectionOwner::handToManager(qint64 timeLimitMs)
{
    Display* dpy = m_connection->display();
    if (!m_ownedSince || XGetSelectionOwner(dpy, m_selection) != m_window) return HandOver::nothingHeld;
    const Atom manager = m_connection->atom("CLIPBOARD_MANAGER");
    if (XGetSelectionOwner(dpy, manager) == None) return HandOver::noManager;
    // No list of targets: the manager takes all that TARGETS names.
    m_managerSaved.reset();
    XConvertSelection(dpy, manager, m_connection->atom("SAVE_TARGETS"), m_connection->atom("SORELWICK_SAVED"), m_window,
                      CurrentTime);
    const QDeadlineTimer deadline(timeLimitMs);
    for (;;) {
        m_connection->dispatchPending(); // the manager's requests, and its answer
        if (m_managerSaved) return *m_managerSaved ? HandOver::saved : HandOver::refused;
        const qint64 left = deadline.remainingTime();
        if (left == 0) return HandOver::timedOut;
        pollfd fd{ConnectionNumber(dpy), POLLIN, 0};
        ::poll(&fd, 1, int(left < 0 || left > 50 ? 50 : left));
    }
}

void X11SelectionOwner::onEvent(XEvent& event)
{
    Display* dpy = m_connection->display();
    if (event.type == SelectionNotify && event.xselection.requestor == m_window
        && event.xselection.selection == m_connection->atom("CLIPBOARD_MANAGER")) {
        m_managerSaved = event.xselection.property != None;
    } else if (event.type == SelectionClear && event.xselectionclear.window == m_window
        && event.xselectionclear.selection == m_selection) {
        m_ownedSince = 0;
        m_item.clear();
        m_textReaders.clear();
    } else if (event.type == SelectionRequest && event.xselectionrequest.owner == m_window
               && event.xselectionrequest.selection == m_selection) {
        const XSelectionRequestEvent& request = event.xselectionrequest;
        // Clients of old name no property; the target then serves as one.
        const Atom property = request.property == None ? request.target : request.property;
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.display = dpy;
        reply.xselection.requestor = request.requestor;
        reply.xselection.selection = request.selection;
        reply.xselection.target = request.target;
        reply.xselection.time = request.time;
        const bool current = m_ownedSince && (request.time == CurrentTime || request.time >= m_ownedSince);
        reply.xselection.property = current ? answer(request.requestor, request.target, property) : None;
        // A list of types is no paste yet (clipboard histories ask for it too); the text is. Who
        // asked is looked up before the answer: a reader such as xclip leaves once it has it.
        const bool pasted = reply.xselection.property != None && isText(m_connection->atomName(request.target));
        const std::optional<Pid> reader = pasted ? X11Properties::clientPid(*m_connection, request.requestor) : std::nullopt;
        XSendEvent(dpy, request.requestor, False, NoEventMask, &reply);
        XFlush(dpy);
        if (pasted) m_textReaders.append(reader);
    } else if (event.type == PropertyNotify && event.xproperty.state == PropertyDelete) {
        continueTransfer(event.xproperty.window, event.xproperty.atom);
    }
}

unsigned long X11SelectionOwner::answer(unsigned long requestor, unsigned long target, unsigned long property)
{
    Display* dpy = m_connection->display();
    const QString name = m_connection->atomName(target);
    X11Connection::ErrorTrap trap(*m_connection); // the requestor may be gone

    if (name == QLatin1String("TARGETS")) {
        QList<unsigned long> atoms{target, m_connection->atom("TIMESTAMP")};
        QStringList names;
        for (const auto& [type, bytes] : m_item) names << type;
        if (names.contains(Pasteboard::stringType))
            for (const TextAlias& a : kTextAliases) names << QLatin1String(a.target);
        for (const QString& n : names) {
            const unsigned long a = m_connection->atom(n.toLatin1().constData());
            if (!atoms.contains(a)) atoms << a;
        }
        XChangeProperty(dpy, requestor, property, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(atoms.constData()), int(atoms.size()));
        return trap.check() ? None : property;
    }
    if (name == QLatin1String("MULTIPLE")) {
        // (target, property) pairs on the requestor's property; a pair not answered gets None.
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* raw = nullptr;
        if (XGetWindowProperty(dpy, requestor, property, 0, 4096, False, AnyPropertyType, &type, &format, &count,
                               &after, &raw)
                != Success
            || format != 32 || count % 2 != 0) {
            XFreePtr<unsigned char>{raw};
            return None;
        }
        const XFreePtr<unsigned char> held(raw);
        QList<unsigned long> pairs(reinterpret_cast<const unsigned long*>(raw),
                                   reinterpret_cast<const unsigned long*>(raw) + count);
        for (qsizetype i = 0; i + 1 < pairs.size(); i += 2)
            if (pairs[i] == target || answer(requestor, pairs[i], pairs[i + 1]) == None) pairs[i + 1] = None;
        XChangeProperty(dpy, requestor, property, type, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(pairs.constData()), int(pairs.size()));
        return trap.check() ? None : property;
    }
    if (name == QLatin1String("TIMESTAMP")) {
        const unsigned long time = m_ownedSince;
        XChangeProperty(dpy, requestor, property, XA_INTEGER, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(&time), 1);
        return trap.check() ? None : property;
    }

    const QByteArray* data = nullptr;
    unsigned long type = target;
    for (const auto& [t, bytes] : m_item)
        if (t == name) data = &bytes;
    QByteArray converted;
    if (!data) {
        const auto text = std::find_if(m_item.begin(), m_item.end(), [](const auto& p) { return p.first == Pasteboard::stringType; });
        const auto alias = std::find_if(std::begin(kTextAliases), std::end(kTextAliases),
                                        [&](const TextAlias& a) { return name == QLatin1String(a.target); });
        if (text == m_item.end() || alias == std::end(kTextAliases)) return None;
        converted = qstrcmp(alias->type, "STRING") == 0 ? QString::fromUtf8(text->second).toLatin1() : text->second;
        data = &converted;
        type = m_connection->atom(alias->type);
    }

    if (data->size() <= m_chunk) {
        XChangeProperty(dpy, requestor, property, type, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(data->constData()), int(data->size()));
        return trap.check() ? None : property;
    }
    // In pieces: announce the size, then a piece each time the requestor deletes the property.
    dropAbandonedTransfers();
    XSelectInput(dpy, requestor, PropertyChangeMask);
    const long size = long(data->size());
    XChangeProperty(dpy, requestor, property, m_connection->atom("INCR"), 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&size), 1);
    if (trap.check()) return None;
    m_transfers.push_back(Transfer{requestor, property, type, *data});
    return property;
}

void X11SelectionOwner::continueTransfer(unsigned long requestor, unsigned long property)
{
    const auto it = std::find_if(m_transfers.begin(), m_transfers.end(), [&](const Transfer& t) {
        return t.requestor == requestor && t.property == property;
    });
    if (it == m_transfers.end()) return;
    Display* dpy = m_connection->display();
    X11Connection::ErrorTrap trap(*m_connection);
    const qsizetype n = std::min(m_chunk, it->data.size() - it->sent);
    // The last, empty piece ends the transfer.
    XChangeProperty(dpy, requestor, property, it->type, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(it->data.constData() + it->sent), int(n));
    it->sent += n;
    const bool failed = trap.check() != 0;
    if (n == 0 || failed) {
        if (!failed) XSelectInput(dpy, requestor, NoEventMask);
        m_transfers.erase(it);
    }
    XFlush(dpy);
}

void X11SelectionOwner::dropAbandonedTransfers()
{
    for (auto it = m_transfers.begin(); it != m_transfers.end();) {
        if (!it->abandoned.hasExpired()) {
            ++it;
            continue;
        }
        Log::write(QStringLiteral("선택 영역을 조각으로 받던 쪽이 멈춰 전송을 버림"));
        X11Connection::ErrorTrap trap(*m_connection); // the requestor may be gone
        XSelectInput(m_connection->display(), it->requestor, NoEventMask);
        it = m_transfers.erase(it);
    }
}
