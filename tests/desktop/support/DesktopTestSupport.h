#pragma once

// Helpers for tests that run against real applications inside tests/desktop/session.sh:
// start a program, wait (with a deadline) for its window and its accessibility registration,
// end it by PID.

#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>

namespace DesktopTest {

using namespace std::chrono_literals;

// Polls the condition (every 10 ms, Qt and GLib events handled in between) until it holds or
// the deadline passes; answers its last value.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 5s);

// Handles pending Qt and GLib events once (accessibility events arrive through GLib).
void processEvents();

// Whether the tests run inside the desktop session (a display and an accessibility bus).
bool insideDesktopSession();

// The test editor built with the tests (tests/desktop/apps/TestEditor.cpp).
QString testEditorPath();

// A program started for a test and ended by PID when the object goes (SIGCONT first, in case the
// test stopped it; then SIGTERM, then SIGKILL after a deadline; always reaped).
class LaunchedApp {
public:
    // Starts the program with its arguments; null when it could not be started.
    static std::unique_ptr<LaunchedApp> start(const QString& program, const QStringList& arguments);
    ~LaunchedApp();
    LaunchedApp(const LaunchedApp&) = delete;
    LaunchedApp& operator=(const LaunchedApp&) = delete;

    pid_t pid() const { return m_pid; }
    // Whether the process still runs (false once it exited, e.g. handed over to another instance).
    bool running();

    // The first top-level window with _NET_WM_PID == pid, once the window manager lists it.
    bool waitForWindow(std::chrono::milliseconds deadline = 10s);
    unsigned long window() const { return m_window; }
    // Makes the window the active one (through the window manager) and waits until it is.
    bool activate(std::chrono::milliseconds deadline = 5s);
    // The application is registered on the accessibility bus.
    bool waitForAccessible(std::chrono::milliseconds deadline = 10s);

    // SIGSTOP / SIGCONT: a hung application, and back.
    void stop();
    void resume();

private:
    friend bool xdotool(const QStringList&);
    explicit LaunchedApp(pid_t pid) : m_pid(pid) {}
    pid_t m_pid;
    bool m_reaped = false;
    unsigned long m_window = 0;
};

// A program whose standard input and output the test uses (xclip, a clipboard owner), ended by
// PID when the object goes (SIGTERM, then SIGKILL after a deadline).
class Program {
public:
    Program(const QString& program, const QStringList& arguments);
    ~Program();
    pid_t pid() const { return pid_t(m_process.processId()); }
    QProcess& process() { return m_process; }
    // Its first top-level window once the window manager maps it; 0 when none came in time.
    unsigned long window(std::chrono::milliseconds deadline = 10s);

private:
    QProcess m_process;
};

// Runs a program to its end with events served meanwhile (the test's own selections answer from
// them); its standard output, or absent when it failed or outlived the deadline.
std::optional<QByteArray> run(const QString& program, const QStringList& arguments,
                              std::chrono::milliseconds deadline = 10s);

// Makes the window the active one (xdotool windowactivate --sync).
bool activate(unsigned long window);

// The PIDs of a process's children, and whether a process is there.
QList<pid_t> children(pid_t pid);
bool alive(pid_t pid);

// A window's rectangle in root (screen) coordinates; empty when the window is gone.
QRect windowFrame(unsigned long window);

// Runs xdotool with the arguments (keys to the focused window, ...); true when it succeeded.
bool xdotool(const QStringList& arguments);

// The window currently active according to the window manager (_NET_ACTIVE_WINDOW), 0 if none.
unsigned long activeWindow();

// Whether an application with that PID is on the accessibility bus now.
bool registeredOnAccessibilityBus(pid_t pid);

// The keyboard grabbed by a client of its own, as a held shortcut's key grabs it, until destroyed.
class KeyboardGrab {
public:
    KeyboardGrab();
    ~KeyboardGrab();
    KeyboardGrab(const KeyboardGrab&) = delete;
    KeyboardGrab& operator=(const KeyboardGrab&) = delete;
    bool held() const { return m_held; }

private:
    void* m_display = nullptr;
    bool m_held = false;
};

} // namespace DesktopTest
