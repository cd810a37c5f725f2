#pragma once

// What the desktop, X11 and end-to-end tiers (and the desktop benchmark) do to a private desktop
// (tests/desktop/session.sh) from outside, as a user would: start programs and end them by PID,
// wait with a deadline, find windows, press keys through XTest, read and set an application's
// text over the accessibility bus, read the clipboard, take screenshots.

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <sys/types.h>
#include <vector>

namespace DesktopTest {

using namespace std::chrono_literals;

// Polls the condition (every 10 ms, Qt and GLib events handled in between) until it holds or
// the deadline passes; answers its last value.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline = 5s);

bool insideDesktopSession();
QString testEditorPath();
QString readFile(const QString& path);
// Whether the file came to hold these bytes, its folder made first.
bool writeFile(const QString& path, const QByteArray& bytes);

// A program started for a test and ended by PID when the object goes (SIGCONT first, in case the
// test stopped it; then SIGTERM, then SIGKILL after a deadline). Its standard error goes to ours,
// or to the end of errorFile; its standard output and input are the test's, through process().
class LaunchedApp {
public:
    // Null when it did not start.
    static std::unique_ptr<LaunchedApp> start(const QString& program, const QStringList& arguments,
                                              const QString& errorFile = {});
    ~LaunchedApp();

    pid_t pid() const { return m_pid; }
    QProcess& process() { return m_process; }
    // Whether it printed the line `times` times, waited for (what it printed stays for the next ask).
    bool said(const QByteArray& line, int times = 1, std::chrono::milliseconds deadline = 5s);
    // False once it exited (e.g. handed over to another instance).
    bool running();
    // Its first window the window manager lists (_NET_WM_PID).
    bool waitForWindow(std::chrono::milliseconds deadline = 10s);
    unsigned long window() const { return m_window; }
    // Its window made the active one, through the window manager.
    bool activate(std::chrono::milliseconds deadline = 5s);
    bool waitForAccessible(std::chrono::milliseconds deadline = 10s);
    // SIGSTOP / SIGCONT: a hung application, and back.
    void stop();
    void resume();

private:
    LaunchedApp() = default;
    QProcess m_process;
    QByteArray m_output;
    pid_t m_pid = 0;
    unsigned long m_window = 0;
};

// Runs a program to its end with events served meanwhile (the test's own selections answer from
// them); its standard output, or absent when it failed or outlived the deadline.
std::optional<QByteArray> run(const QString& program, const QStringList& arguments,
                              std::chrono::milliseconds deadline = 10s);
bool xdotool(const QStringList& arguments);

// The window made the active one through the window manager, as a pager asks.
bool activate(unsigned long window, std::chrono::milliseconds deadline = 5s);
// A window's rectangle in root coordinates; empty when it is gone.
QRect windowFrame(unsigned long window);
// A window's property of 8-bit items (a string), of any type; empty when it has none.
QByteArray windowProperty(unsigned long window, const char* name);

// Whether a process is alive and not a zombie.
bool processRunning(pid_t pid);

// Viewable X windows of a process, at any depth under the root.
struct Window {
    unsigned long id = 0;
    QString name; // _NET_WM_NAME or WM_NAME
    QRect geometry; // root coordinates
};
QList<Window> visibleWindows(pid_t pid);
std::optional<Window> visibleWindow(pid_t pid, const QString& name);

// Whether another client holds a passive grab of the key on the root window (tried ourselves).
bool keyGrabbedByOthers(const char* keysym, unsigned int modifiers);
// Whether another client holds the keyboard (the panel does while it is up).
bool keyboardGrabbedElsewhere();

// Keys through XTest in xdotool's syntax ("ctrl+alt+h", "1", "Escape"): a chord pressed and let
// go; keys down, or up in the order given, the first one delayMs after the server gets it.
void pressChord(const QString& chord);
void keysDown(const QString& keys);
void keysUp(const QString& keys, unsigned long delayMs = 0);
// Whether the server has the key (xdotool's name) down.
bool keyIsDown(const QString& key);
void clickAt(QPoint position);

// The first editable object with a Text interface in the application, over the accessibility bus.
bool registeredOnAccessibilityBus(pid_t pid);
std::optional<QString> applicationText(pid_t pid);
// The same object found once and then only read: a search walks the whole accessible tree.
class TextReader {
public:
    explicit TextReader(pid_t pid) : m_pid(pid) {}
    std::optional<QString> text();

private:
    std::optional<QString> read();
    pid_t m_pid;
    std::shared_ptr<void> m_object;
};
// [start, end) in code points.
bool selectText(pid_t pid, int start, int end);
std::optional<QRect> textExtents(pid_t pid, int start, int end);
// The caret's offset in code points.
std::optional<int> caretOffset(pid_t pid);
bool setApplicationText(pid_t pid, const QString& text);

// What the owner of an X selection ("clipboard", "primary") gives for a target, read by xclip.
std::optional<QByteArray> selectionData(const QString& selection, const QString& target);

// Has the tray that owns the tray selection ask its icons for these colours (_NET_SYSTEM_TRAY_COLORS:
// foreground, error, warning and success, 16 bits a channel), given as a property of this type.
bool setTrayColours(const std::vector<long>& values, const char* type = "CARDINAL");

QImage screenshot(const QRect& area = {});
// $SORELWICK_TEST_OUTPUT, else the current folder.
QString outputFolder();

// mousepad, an instance of its own, holding the text.
struct Mousepad {
    QTemporaryDir dir;
    std::unique_ptr<LaunchedApp> program;

    // In front; environment: settings for mousepad alone ("GDK_SCALE=2").
    bool start(const QString& text, const QStringList& environment = {});
    // In front and its text on the accessibility bus.
    bool open(const QString& text, const QStringList& environment = {});
    pid_t pid() const { return program->pid(); }
    QString text() const { return applicationText(pid()).value_or(QStringLiteral("<none>")); }
    // The first occurrence of part (text in the BMP: code points are UTF-16 units).
    bool select(const QString& part);
    bool openSelected(const QString& text, const QString& part) { return open(text) && select(part); }
};

// The Qt 6 test editor (tests/desktop/apps) holding the text, every change mirrored to a file.
struct TestEditor {
    QTemporaryDir dir;
    std::unique_ptr<LaunchedApp> program;

    QString mirror() const { return dir.filePath(QStringLiteral("mirror.txt")); }
    QString text() const { return readFile(mirror()); }
    // In front, [at, at + length) selected in UTF-16 units; options after its own, environment before.
    bool start(const QString& text, qsizetype at, qsizetype length, const QStringList& options = {},
               const QStringList& environment = {});
    // In front, the first occurrence of `selected` selected, and on the accessibility bus.
    bool open(const QString& text, const QString& selected, const QStringList& options = {},
              const QStringList& environment = {})
    {
        const qsizetype at = text.indexOf(selected);
        return at >= 0 && start(text, at, selected.size(), options, environment) && program->waitForAccessible();
    }
};

// The keyboard grabbed by a client of our own, as a held shortcut's key grabs it, or let go again;
// whether that went through.
bool grabKeyboard(bool grab);

} // namespace DesktopTest
