#pragma once

#include <QDeadlineTimer>
#include <QString>

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include <qcoro/qcorotask.h>

class QSocketNotifier;

// Xlib's types, declared as Xlib does: its header stays in the .cpp files, after Qt's.
struct _XDisplay;
typedef struct _XDisplay Display;
union _XEvent;
typedef union _XEvent XEvent;

// Memory that Xlib hands out and XFree releases.
struct XFreeDeleter {
    void operator()(void* p) const;
};
template <typename T>
using XFreePtr = std::unique_ptr<T, XFreeDeleter>;

// A connection of our own to the X server, closed with its owner. Events that arrive are handed
// to the handlers on the main thread, whether the socket woke us or a round trip queued them.
// Protocol errors never end the program: they are logged, or collected by an ErrorTrap.
class X11Connection {
public:
    using Handler = std::function<void(XEvent&)>;

    // Null when there is no X display to talk to.
    static std::shared_ptr<X11Connection> open();
    ~X11Connection();
    X11Connection(const X11Connection&) = delete;
    X11Connection& operator=(const X11Connection&) = delete;

    Display* display() const { return m_display; }
    unsigned long root() const;
    unsigned long atom(const char* name) const;
    QString atomName(unsigned long atom) const;

    int addHandler(Handler handler);
    void removeHandler(int id);
    // Hands every queued event to the handlers.
    void dispatchPending();

    // Sends what is buffered and waits for an event of `type` for `window` that `wanted` takes,
    // into `event`; the others of that type and window (late answers to earlier requests) are
    // dropped. False when the deadline passed first.
    bool waitForEvent(unsigned long window, int type, const std::function<bool(const XEvent&)>& wanted,
                      XEvent& event, const QDeadlineTimer& deadline) const;
    // The same wait with the event loop running meanwhile: the event is taken from the queue or
    // from the handlers as it comes. Absent when the deadline passed first. Only on the main
    // thread, whose event loop dispatches this connection.
    QCoro::Task<std::optional<XEvent>> nextEvent(unsigned long window, int type,
                                                 std::function<bool(const XEvent&)> wanted, QDeadlineTimer deadline);

    // Collects the protocol errors of the requests made while it lives (after a sync).
    class ErrorTrap {
    public:
        explicit ErrorTrap(X11Connection& connection);
        ~ErrorTrap();
        ErrorTrap(const ErrorTrap&) = delete;
        ErrorTrap& operator=(const ErrorTrap&) = delete;
        // Syncs and answers the first error code seen (0: none), then starts afresh.
        int check();

    private:
        X11Connection& m_connection;
        ErrorTrap* m_previous;
    };

private:
    explicit X11Connection(Display* display);
    friend struct X11ErrorHandler;

    Display* m_display;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::map<int, Handler> m_handlers;
    int m_nextHandler = 1;
    ErrorTrap* m_trap = nullptr;
    int m_trappedError = 0;
    bool m_dispatching = false;
};
