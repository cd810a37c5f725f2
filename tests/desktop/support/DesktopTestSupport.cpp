#include "DesktopTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <atspi/atspi.h>
#include <glib.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace DesktopTest {

namespace {

struct DisplayCloser {
    void operator()(Display* d) const
    {
        if (d) XCloseDisplay(d);
    }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

// A window that goes away while asked about is an answer, not a reason for Xlib to exit.
DisplayPtr openDisplay()
{
    static const bool quiet = [] {
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
        return true;
    }();
    (void)quiet;
    return DisplayPtr(XOpenDisplay(nullptr));
}

struct XFreer {
    void operator()(unsigned char* p) const
    {
        if (p) XFree(p);
    }
};

// One property of a window as a list of 32-bit items (longs in Xlib's format-32 convention).
std::vector<unsigned long> cardinals(Display* d, Window w, const char* name, Atom type)
{
    Atom atom = XInternAtom(d, name, False);
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* raw = nullptr;
    if (XGetWindowProperty(d, w, atom, 0, 1 << 16, False, type, &actualType, &format, &count, &after, &raw)
        != Success) {
        return {};
    }
    std::unique_ptr<unsigned char, XFreer> owned(raw);
    if (!raw || format != 32) return {};
    auto* items = reinterpret_cast<unsigned long*>(raw);
    return std::vector<unsigned long>(items, items + count);
}

void unrefObject(gpointer p)
{
    if (p) g_object_unref(p);
}

} // namespace

void processEvents()
{
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        processEvents();
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return condition();
        std::this_thread::sleep_for(10ms);
    }
}

bool insideDesktopSession()
{
    return qEnvironmentVariableIsSet("DISPLAY") && qEnvironmentVariableIsSet("SORELWICK_DESKTOP_TMP");
}

QString testEditorPath()
{
    return QStringLiteral(SORELWICK_TEST_EDITOR);
}

std::unique_ptr<LaunchedApp> LaunchedApp::start(const QString& program, const QStringList& arguments)
{
    std::vector<QByteArray> storage;
    storage.push_back(program.toLocal8Bit());
    for (const QString& a : arguments) storage.push_back(a.toUtf8());
    std::vector<char*> argv;
    for (QByteArray& s : storage) argv.push_back(s.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return nullptr;
    return std::unique_ptr<LaunchedApp>(new LaunchedApp(pid));
}

bool LaunchedApp::running()
{
    if (m_reaped) return false;
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_reaped = true;
        return false;
    }
    return true;
}

LaunchedApp::~LaunchedApp()
{
    if (!running()) return;
    kill(m_pid, SIGCONT);
    kill(m_pid, SIGTERM);
    const auto end = std::chrono::steady_clock::now() + 3s;
    while (running() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(5ms);
    if (running()) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_reaped = true;
    }
}

bool LaunchedApp::waitForWindow(std::chrono::milliseconds deadline)
{
    DisplayPtr d = openDisplay();
    if (!d) return false;
    const Window root = DefaultRootWindow(d.get());
    return waitUntil(
        [&] {
            for (unsigned long w : cardinals(d.get(), root, "_NET_CLIENT_LIST", XA_WINDOW)) {
                auto pid = cardinals(d.get(), w, "_NET_WM_PID", XA_CARDINAL);
                if (!pid.empty() && pid_t(pid.front()) == m_pid) {
                    m_window = w;
                    return true;
                }
            }
            return false;
        },
        deadline);
}

unsigned long activeWindow()
{
    DisplayPtr d = openDisplay();
    if (!d) return 0;
    auto active = cardinals(d.get(), DefaultRootWindow(d.get()), "_NET_ACTIVE_WINDOW", XA_WINDOW);
    return active.empty() ? 0 : active.front();
}

bool LaunchedApp::activate(std::chrono::milliseconds deadline)
{
    if (!m_window && !waitForWindow(deadline)) return false;
    DisplayPtr d = openDisplay();
    if (!d) return false;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = m_window;
    e.xclient.message_type = XInternAtom(d.get(), "_NET_ACTIVE_WINDOW", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2; // from a pager: the window manager obeys without focus-stealing checks
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d.get(), DefaultRootWindow(d.get()), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(d.get());
    return waitUntil([&] { return activeWindow() == m_window; }, deadline);
}

QRect windowFrame(unsigned long window)
{
    DisplayPtr d = openDisplay();
    if (!d || !window) return {};
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(d.get(), window, &attributes)) return {};
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(d.get(), window, DefaultRootWindow(d.get()), 0, 0, &x, &y, &child);
    return QRect(x, y, attributes.width, attributes.height);
}

bool xdotool(const QStringList& arguments)
{
    auto tool = LaunchedApp::start(QStringLiteral("xdotool"), arguments);
    if (!tool) return false;
    int status = 0;
    if (waitpid(tool->pid(), &status, 0) != tool->pid()) return false;
    tool->m_reaped = true;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool registeredOnAccessibilityBus(pid_t pid)
{
    static const bool initialised = [] {
        atspi_init();
        return true;
    }();
    (void)initialised;
    std::unique_ptr<AtspiAccessible, decltype(&unrefObject)> desktop(atspi_get_desktop(0), unrefObject);
    if (!desktop) return false;
    const gint count = atspi_accessible_get_child_count(desktop.get(), nullptr);
    for (gint i = 0; i < count; ++i) {
        std::unique_ptr<AtspiAccessible, decltype(&unrefObject)> app(
            atspi_accessible_get_child_at_index(desktop.get(), i, nullptr), unrefObject);
        if (app && pid_t(atspi_accessible_get_process_id(app.get(), nullptr)) == pid) return true;
    }
    return false;
}

bool LaunchedApp::waitForAccessible(std::chrono::milliseconds deadline)
{
    return waitUntil([&] { return registeredOnAccessibilityBus(m_pid); }, deadline);
}

void LaunchedApp::stop()
{
    kill(m_pid, SIGSTOP);
}

void LaunchedApp::resume()
{
    kill(m_pid, SIGCONT);
}

Program::Program(const QString& program, const QStringList& arguments)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(program, arguments);
    m_process.waitForStarted(5000);
}

Program::~Program()
{
    if (m_process.state() == QProcess::NotRunning) return;
    kill(pid(), SIGTERM);
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

unsigned long Program::window(std::chrono::milliseconds deadline)
{
    unsigned long id = 0;
    waitUntil(
        [&] {
            const auto out = run(QStringLiteral("xdotool"),
                                 {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                  QString::number(pid())},
                                 2s);
            id = out ? out->trimmed().split('\n').first().toULong() : 0;
            return id != 0;
        },
        deadline);
    return id;
}

std::optional<QByteArray> run(const QString& program, const QStringList& arguments, std::chrono::milliseconds deadline)
{
    QProcess p;
    p.start(program, arguments);
    if (!waitUntil([&] { return p.state() == QProcess::NotRunning; }, deadline)) {
        p.kill();
        p.waitForFinished(1000);
        return std::nullopt;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return std::nullopt;
    return p.readAllStandardOutput();
}

bool activate(unsigned long window)
{
    return run(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(window)})
        .has_value();
}

QList<pid_t> children(pid_t pid)
{
    QList<pid_t> list;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(task + QStringLiteral("/children")));
        if (!f.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& c : f.readAll().simplified().split(' '))
            if (!c.isEmpty()) list << pid_t(c.toInt());
    }
    return list;
}

bool alive(pid_t pid) { return kill(pid, 0) == 0; }

KeyboardGrab::KeyboardGrab()
{
    Display* display = XOpenDisplay(nullptr);
    m_display = display;
    if (!display) return;
    m_held = XGrabKeyboard(display, DefaultRootWindow(display), False, GrabModeAsync, GrabModeAsync, CurrentTime)
        == GrabSuccess;
    XSync(display, False);
}

KeyboardGrab::~KeyboardGrab()
{
    if (!m_display) return;
    auto* display = static_cast<Display*>(m_display);
    XUngrabKeyboard(display, CurrentTime);
    XCloseDisplay(display);
}

} // namespace DesktopTest
