#include "platform/x11/X11Workspace.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <unistd.h>

#include <set>

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11Properties.h"

#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

X11Workspace::X11Workspace(std::shared_ptr<X11Connection> connection)
    : m_connection(std::move(connection))
{
    if (!m_connection) return; // no X display: nobody is ever in front
    m_activeWindowAtom = m_connection->atom("_NET_ACTIVE_WINDOW");
    m_pidAtom = m_connection->atom("_NET_WM_PID");
    m_frameExtentsAtom = m_connection->atom("_NET_FRAME_EXTENTS");
    m_gtkFrameExtentsAtom = m_connection->atom("_GTK_FRAME_EXTENTS");
    Display* dpy = m_connection->display();
    XWindowAttributes attributes{};
    XGetWindowAttributes(dpy, m_connection->root(), &attributes);
    XSelectInput(dpy, m_connection->root(), attributes.your_event_mask | PropertyChangeMask);
    XFlush(dpy);
    m_handler = m_connection->addHandler([this](XEvent& e) {
        if (e.type == PropertyNotify && e.xproperty.window == m_connection->root()
            && e.xproperty.atom == m_activeWindowAtom)
            onActiveWindowChanged();
    });
    if (const auto front = frontmostApplication()) m_lastFront = front->pid;
}

X11Workspace::~X11Workspace()
{
    if (m_connection) m_connection->removeHandler(m_handler);
}

std::optional<RunningApplication> X11Workspace::frontmostApplication()
{
    const auto active = activeWindow();
    if (!active) return std::nullopt;
    const auto [window, pid] = *active;
    const auto hint = X11Properties::classHint(*m_connection, window).value_or(X11Properties::ClassHint{});
    return RunningApplication{pid, hint.cls, hint.instance};
}

std::optional<std::pair<unsigned long, Pid>> X11Workspace::activeWindow()
{
    if (!m_connection) return std::nullopt;
    const auto active = X11Properties::window(*m_connection, m_connection->root(), m_activeWindowAtom);
    if (!active || *active == None) return std::nullopt;
    std::optional<Pid> pid = X11Properties::cardinal(*m_connection, *active, m_pidAtom);
    if (!pid || *pid <= 0) pid = X11Properties::clientPid(*m_connection, *active);
    if (!pid) return std::nullopt;
    return std::pair{*active, *pid};
}

std::optional<FrontWindow> X11Workspace::frontmostWindow()
{
    const auto active = activeWindow();
    if (!active) return std::nullopt;
    // Named, not a structured binding: clang 14 cannot capture those in the lambda below.
    const unsigned long window = active->first;
    const Pid pid = active->second;
    const std::optional<QRect> area = shownArea(window);
    if (!area) return std::nullopt;
    // Both list left, right, top, bottom.
    const auto margins = [&](unsigned long atom) {
        const auto v = X11Properties::cardinals(*m_connection, window, atom, 4);
        return v ? QMarginsF(double((*v)[0]), double((*v)[2]), double((*v)[1]), double((*v)[3])) : QMarginsF();
    };
    return FrontWindow{pid, {QRectF(*area), margins(m_frameExtentsAtom), margins(m_gtkFrameExtentsAtom)}};
}

std::optional<QRect> X11Workspace::activeWindowFrame()
{
    if (!m_connection) return std::nullopt;
    const auto active = X11Properties::window(*m_connection, m_connection->root(), m_activeWindowAtom);
    if (!active || *active == None) return std::nullopt;
    return shownArea(*active);
}

std::optional<QRect> X11Workspace::shownArea(unsigned long window)
{
    Display* dpy = m_connection->display();
    X11Connection::ErrorTrap trap(*m_connection); // the window may be gone already
    XWindowAttributes attributes{};
    int x = 0, y = 0;
    Window child = None;
    const bool read = XGetWindowAttributes(dpy, window, &attributes)
        && XTranslateCoordinates(dpy, window, m_connection->root(), 0, 0, &x, &y, &child);
    if (trap.check() != 0 || !read || attributes.map_state != IsViewable) return std::nullopt;
    return QRect(x, y, attributes.width, attributes.height);
}

Pid X11Workspace::ownPid() { return Pid(::getpid()); }

std::optional<QString> X11Workspace::ownDesktopId()
{
    const QString desktop = QGuiApplication::desktopFileName();
    if (!desktop.isEmpty()) return desktop;
    const QString name = QCoreApplication::applicationName();
    if (!name.isEmpty()) return name;
    return std::nullopt;
}

Workspace::ObserverHandle X11Workspace::observeActivation(ActivationObserver observer)
{
    const ObserverHandle handle = m_nextHandle++;
    m_observers.emplace(handle, std::move(observer));
    return handle;
}

void X11Workspace::removeObserver(ObserverHandle handle) { m_observers.erase(handle); }

void X11Workspace::onActiveWindowChanged()
{
    const auto front = frontmostApplication();
    if (!front) {
        m_lastFront.reset();
        return;
    }
    // Another window of the same application is no activation.
    if (m_lastFront == front->pid) return;
    m_lastFront = front->pid;
    std::set<ObserverHandle> handles;
    for (const auto& [h, o] : m_observers) handles.insert(h);
    for (ObserverHandle h : handles)
        if (const auto it = m_observers.find(h); it != m_observers.end()) {
            const ActivationObserver observer = it->second;
            observer(*front);
        }
}
