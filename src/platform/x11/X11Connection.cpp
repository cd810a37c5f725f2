#include "platform/x11/X11Connection.h"

#include "base/Log.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <poll.h>

#include <algorithm>
#include <limits>
#include <mutex>
#include <set>

#include <qcoro/qcorotimer.h>

#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

namespace {
constexpr qint64 kWaitStepMs = 50;

// Xlib has one error handler for the process; it finds the connection by its display.
std::mutex g_connectionsMutex;
std::map<Display*, X11Connection*> g_connections;
} // namespace

struct X11ErrorHandler {
    static int handle(Display* display, XErrorEvent* error);
};

void XFreeDeleter::operator()(void* p) const
{
    if (p) XFree(p);
}

std::shared_ptr<X11Connection> X11Connection::open()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) return nullptr;
    static std::once_flag handlerInstalled;
    std::call_once(handlerInstalled, [] { XSetErrorHandler(&X11ErrorHandler::handle); });
    return std::shared_ptr<X11Connection>(new X11Connection(display));
}

X11Connection::X11Connection(Display* display)
    : m_display(display)
{
    {
        std::lock_guard lock(g_connectionsMutex);
        g_connections[m_display] = this;
    }
    if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread()) {
        m_notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(m_display), QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(),
                         [this] { dispatchPending(); });
        // A round trip may have queued events without the socket showing anything new.
        if (auto* dispatcher = QAbstractEventDispatcher::instance())
            QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, m_notifier.get(), [this] {
                if (XEventsQueued(m_display, QueuedAlready) > 0) dispatchPending();
            });
    }
}

X11Connection::~X11Connection()
{
    m_notifier.reset();
    {
        std::lock_guard lock(g_connectionsMutex);
        g_connections.erase(m_display);
    }
    XCloseDisplay(m_display);
}

Window X11Connection::root() const { return DefaultRootWindow(m_display); }

Atom X11Connection::atom(const char* name) const { return XInternAtom(m_display, name, False); }

QString X11Connection::atomName(Atom atom) const
{
    if (atom == None) return {};
    XFreePtr<char> name(XGetAtomName(m_display, atom));
    return name ? QString::fromLatin1(name.get()) : QString();
}

int X11Connection::addHandler(Handler handler)
{
    const int id = m_nextHandler++;
    m_handlers.emplace(id, std::move(handler));
    return id;
}

void X11Connection::removeHandler(int id) { m_handlers.erase(id); }

void X11Connection::dispatchPending()
{
    if (m_dispatching) return;
    m_dispatching = true;
    while (XPending(m_display) > 0) {
        XEvent event;
        XNextEvent(m_display, &event);
        // A handler may remove itself or others while it runs.
        std::set<int> ids;
        for (const auto& [id, handler] : m_handlers) ids.insert(id);
        for (int id : ids)
            if (const auto it = m_handlers.find(id); it != m_handlers.end()) {
                const Handler handler = it->second;
                handler(event);
            }
    }
    m_dispatching = false;
}

bool X11Connection::waitForEvent(unsigned long window, int type, const std::function<bool(const XEvent&)>& wanted,
                                 XEvent& event, const QDeadlineTimer& deadline) const
{
    for (;;) {
        // Flushed before the look: a flush may read an answer into Xlib's queue, where the socket
        // no longer shows it, so a flush between the look and the wait would sleep through it.
        XFlush(m_display);
        while (XCheckTypedWindowEvent(m_display, window, type, &event))
            if (wanted(event)) return true;
        const qint64 left = deadline.remainingTime();
        if (left == 0) return false;
        // In short steps all the same: whatever else reads the connection, the queue is looked at
        // again soon.
        pollfd fd{ConnectionNumber(m_display), POLLIN, 0};
        ::poll(&fd, 1, int(left < 0 || left > kWaitStepMs ? kWaitStepMs : left));
    }
}

QCoro::Task<std::optional<XEvent>> X11Connection::nextEvent(unsigned long window, int type,
                                                            std::function<bool(const XEvent&)> wanted,
                                                            QDeadlineTimer deadline)
{
    XFlush(m_display);
    XEvent queued;
    while (XCheckTypedWindowEvent(m_display, window, type, &queued))
        if (wanted(queued)) co_return queued;

    // The handlers see it when the socket, or a round trip, brings it; the timer wakes us either way.
    std::optional<XEvent> found;
    QTimer wake;
    wake.setSingleShot(true);
    const int handler = addHandler([&](XEvent& event) {
        if (found || event.type != type || event.xany.window != window || !wanted(event)) return;
        found = event;
        wake.start(0);
    });
    const qint64 left = deadline.remainingTime();
    wake.start(int(std::clamp<qint64>(left < 0 ? std::numeric_limits<int>::max() : left, 0,
                                      std::numeric_limits<int>::max())));
    co_await wake;
    removeHandler(handler);
    co_return found;
}

int X11ErrorHandler::handle(Display* display, XErrorEvent* error)
{
    X11Connection* connection = nullptr;
    {
        std::lock_guard lock(g_connectionsMutex);
        if (const auto it = g_connections.find(display); it != g_connections.end()) connection = it->second;
    }
    if (connection && connection->m_trap) {
        if (!connection->m_trappedError) connection->m_trappedError = error->error_code;
        return 0;
    }
    char text[128] = {};
    XGetErrorText(display, error->error_code, text, sizeof text);
    Log::write(QStringLiteral("X 오류: %1 (요청 %2.%3)")
                   .arg(QString::fromLocal8Bit(text))
                   .arg(error->request_code)
                   .arg(error->minor_code));
    return 0;
}

X11Connection::ErrorTrap::ErrorTrap(X11Connection& connection)
    : m_connection(connection)
    , m_previous(connection.m_trap)
{
    XSync(m_connection.m_display, False);
    m_connection.m_trap = this;
    m_connection.m_trappedError = 0;
}

X11Connection::ErrorTrap::~ErrorTrap()
{
    XSync(m_connection.m_display, False);
    m_connection.m_trap = m_previous;
    m_connection.m_trappedError = 0;
}

int X11Connection::ErrorTrap::check()
{
    XSync(m_connection.m_display, False);
    const int error = m_connection.m_trappedError;
    m_connection.m_trappedError = 0;
    return error;
}
