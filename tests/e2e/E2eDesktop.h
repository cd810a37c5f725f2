#pragma once

// What the end-to-end tests and the desktop benchmark do to the desktop from outside, as a user
// would, beside the desktop tier's helpers (DesktopTestSupport: programs ended by PID, waiting
// with a deadline, activation): find a program's windows, press keys through XTest, read, select
// and set an application's text over the accessibility bus, and take screenshots.

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <sys/types.h>

namespace E2e {

// Runs a short command to its end (xdotool and the like); its exit status, -1 when it hung.
int run(const QString& program, const QStringList& arguments, QString* output = nullptr);

// X windows of a process that are mapped and viewable (any depth under the root).
struct Window {
    unsigned long id = 0;
    QString name; // _NET_WM_NAME or WM_NAME
    QRect geometry; // root coordinates
};
QList<Window> visibleWindows(pid_t pid);
// The first viewable window of the process with exactly that title.
std::optional<Window> visibleWindow(pid_t pid, const QString& name);

// Whether some client holds a passive grab of the key with those modifiers on the root window
// (found by trying to grab it ourselves: the server refuses a combination another client holds).
bool keyGrabbedByOthers(const char* keysym, unsigned int modifiers);

// Key chords through XTest on our own connection, in xdotool's syntax ("ctrl+alt+h", "1", "Escape").
void pressChord(const QString& chord);
// Keys ("ctrl+alt+h") down, or up, in the order given: a hand that lets go of some keys first.
// The X server lets go of the first key delayMs after it gets the request: a key held that long.
void keysDown(const QString& keys);
void keysUp(const QString& keys, unsigned long delayMs = 0);
// Mouse click at a root position.
void clickAt(QPoint position);

// The text of the first object with a Text interface in the application with that PID (found
// on the accessibility bus), absent when it has none (yet).
std::optional<QString> applicationText(pid_t pid);
// The same text, the object found once and then only read: a search walks the application's
// whole accessible tree, which costs far more than the read (and loads the application).
class TextReader {
public:
    explicit TextReader(pid_t pid) : m_pid(pid) {}
    std::optional<QString> text();

private:
    pid_t m_pid;
    std::shared_ptr<void> m_object;
};
// Selects [start, end) (code points) in that object.
bool selectText(pid_t pid, int start, int end);
// The screen rectangle of [start, end) in that object, in the units the application reports.
std::optional<QRect> textExtents(pid_t pid, int start, int end);
// Replaces all of that object's text.
bool setApplicationText(pid_t pid, const QString& text);

// What the owner of an X selection ("clipboard", "primary") gives for a target, read with xclip;
// absent when nobody owns the selection or its owner refuses the target.
std::optional<QByteArray> selectionData(const QString& selection, const QString& target);

// Whether the process is alive and not a zombie.
bool processRunning(pid_t pid);

// Resident memory (kB) and CPU time (user + system, ms) of a process, from /proc.
std::optional<qint64> residentKiB(pid_t pid);
// One kB field of /proc/PID/status ("RssAnon", "RssFile"): what of the resident memory is the
// process's own and what is mapped files (the dictionary's pages among them).
std::optional<qint64> statusKiB(pid_t pid, const QByteArray& field);
std::optional<qint64> cpuMilliseconds(pid_t pid);

// Has the tray that owns the screen's tray selection ask its icons for this foreground colour, as
// a dark panel's tray does (_NET_SYSTEM_TRAY_COLORS). False when no tray owns the selection.
bool publishTrayColour(const QColor& foreground);

// Whether another client holds the keyboard (the panel does while it is up). Asked by trying a grab
// of our own, let go at once.
bool keyboardGrabbedElsewhere();

// The screen, or a part of it.
QImage screenshot(const QRect& area = {});
// The folder tests write pictures and logs to: $SORELWICK_TEST_OUTPUT, else the current one.
QString outputFolder();

} // namespace E2e
