#include "E2eDesktop.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QScreen>

#include <atspi/atspi.h>
#include <glib.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <vector>
#include <unistd.h>

namespace E2e {
namespace {

// Our own X connection, opened once.
Display* display()
{
    static Display* d = XOpenDisplay(nullptr);
    return d;
}

struct XFreeDeleter {
    void operator()(void* p) const
    {
        if (p) XFree(p);
    }
};

std::optional<unsigned long> cardinal(unsigned long window, const char* property)
{
    Display* d = display();
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* raw = nullptr;
    if (XGetWindowProperty(d, window, XInternAtom(d, property, False), 0, 1, False, AnyPropertyType, &type, &format,
                           &count, &after, &raw) != Success)
        return std::nullopt;
    std::unique_ptr<unsigned char, XFreeDeleter> data(raw);
    if (!data || count < 1 || format != 32) return std::nullopt;
    return *reinterpret_cast<unsigned long*>(data.get());
}

QString windowName(unsigned long window)
{
    Display* d = display();
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* raw = nullptr;
    if (XGetWindowProperty(d, window, XInternAtom(d, "_NET_WM_NAME", False), 0, 1024, False,
                           XInternAtom(d, "UTF8_STRING", False), &type, &format, &count, &after, &raw) == Success
        && raw) {
        std::unique_ptr<unsigned char, XFreeDeleter> data(raw);
        if (count > 0) return QString::fromUtf8(reinterpret_cast<char*>(data.get()), int(count));
    }
    char* name = nullptr;
    if (XFetchName(d, window, &name) && name) {
        std::unique_ptr<char, XFreeDeleter> owned(name);
        return QString::fromLocal8Bit(name);
    }
    return {};
}

void collect(unsigned long window, pid_t pid, QList<Window>& out, int depth)
{
    Display* d = display();
    XWindowAttributes attributes {};
    if (window != DefaultRootWindow(d)) {
        if (!XGetWindowAttributes(d, window, &attributes) || attributes.map_state != IsViewable) return;
        if (const auto owner = cardinal(window, "_NET_WM_PID"); owner && pid_t(*owner) == pid) {
            int x = 0, y = 0;
            ::Window child = 0;
            XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &x, &y, &child);
            out.append({window, windowName(window), QRect(x, y, attributes.width, attributes.height)});
        }
    }
    if (depth > 3) return;
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, window, &root, &parent, &children, &count)) return;
    std::unique_ptr<::Window, XFreeDeleter> owned(children);
    for (unsigned int i = 0; i < count; ++i) collect(children[i], pid, out, depth + 1);
}

// X errors from our probes (a window that went away meanwhile, a refused grab) are answers.
int s_lastError = 0;
int recordError(Display*, XErrorEvent* event)
{
    s_lastError = event->error_code;
    return 0;
}

struct ErrorTrap {
    ErrorTrap() : previous(XSetErrorHandler(recordError)) { s_lastError = 0; }
    ~ErrorTrap() { XSetErrorHandler(previous); }
    int (*previous)(Display*, XErrorEvent*);
};

struct GObjectDeleter {
    void operator()(void* p) const
    {
        if (p) g_object_unref(p);
    }
};
using AccessiblePtr = std::unique_ptr<AtspiAccessible, GObjectDeleter>;

AccessiblePtr applicationOf(pid_t pid)
{
    static const bool initialised = (atspi_init(), true);
    (void)initialised;
    AccessiblePtr desktop(atspi_get_desktop(0));
    const gint count = atspi_accessible_get_child_count(desktop.get(), nullptr);
    for (gint i = 0; i < count; ++i) {
        AccessiblePtr app(atspi_accessible_get_child_at_index(desktop.get(), i, nullptr));
        if (app && pid_t(atspi_accessible_get_process_id(app.get(), nullptr)) == pid) return app;
    }
    return nullptr;
}

// Depth first, the first editable object with a Text interface.
AccessiblePtr findText(AtspiAccessible* node, int depth)
{
    if (depth > 40) return nullptr;
    AtspiStateSet* states = atspi_accessible_get_state_set(node);
    const bool editable = states && atspi_state_set_contains(states, ATSPI_STATE_EDITABLE);
    if (states) g_object_unref(states);
    if (editable) {
        if (AtspiText* text = atspi_accessible_get_text_iface(node)) {
            g_object_unref(text);
            return AccessiblePtr(ATSPI_ACCESSIBLE(g_object_ref(node)));
        }
    }
    const gint count = atspi_accessible_get_child_count(node, nullptr);
    for (gint i = 0; i < count; ++i) {
        AccessiblePtr child(atspi_accessible_get_child_at_index(node, i, nullptr));
        if (!child) continue;
        if (AccessiblePtr found = findText(child.get(), depth + 1)) return found;
    }
    return nullptr;
}

AccessiblePtr textObject(pid_t pid)
{
    AccessiblePtr app = applicationOf(pid);
    return app ? findText(app.get(), 0) : nullptr;
}

} // namespace

// ------------------------------------------------------------------------------------ programs

int run(const QString& program, const QStringList& arguments, QString* output)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (output) *output = QString::fromUtf8(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// ------------------------------------------------------------------------------------ windows

QList<Window> visibleWindows(pid_t pid)
{
    QList<Window> out;
    ErrorTrap trap;
    collect(DefaultRootWindow(display()), pid, out, 0);
    return out;
}

std::optional<Window> visibleWindow(pid_t pid, const QString& name)
{
    for (const Window& w : visibleWindows(pid))
        if (w.name == name) return w;
    return std::nullopt;
}

bool keyGrabbedByOthers(const char* keysym, unsigned int modifiers)
{
    Display* d = display();
    const KeyCode code = XKeysymToKeycode(d, XStringToKeysym(keysym));
    ErrorTrap trap;
    XGrabKey(d, code, modifiers, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync);
    XSync(d, False);
    const bool refused = s_lastError == BadAccess;
    if (!refused) {
        XUngrabKey(d, code, modifiers, DefaultRootWindow(d));
        XSync(d, False);
    }
    return refused;
}

namespace {

QList<KeyCode> keyCodes(Display* d, const QString& keys)
{
    QList<KeyCode> codes;
    for (const QString& part : keys.split(QLatin1Char('+'))) {
        QString name = part;
        if (name == QLatin1String("ctrl")) name = QStringLiteral("Control_L");
        else if (name == QLatin1String("alt")) name = QStringLiteral("Alt_L");
        else if (name == QLatin1String("shift")) name = QStringLiteral("Shift_L");
        else if (name == QLatin1String("super")) name = QStringLiteral("Super_L");
        codes << XKeysymToKeycode(d, XStringToKeysym(name.toLatin1().constData()));
    }
    return codes;
}

// The keys down or up in order; the server takes the first one delayMs after it gets it.
void sendKeys(Display* d, const QList<KeyCode>& codes, bool down, unsigned long delayMs = CurrentTime)
{
    for (KeyCode c : codes) {
        XTestFakeKeyEvent(d, c, down, delayMs);
        delayMs = CurrentTime;
    }
    XFlush(d);
}

} // namespace

void pressChord(const QString& chord)
{
    Display* d = display();
    QList<KeyCode> codes = keyCodes(d, chord);
    sendKeys(d, codes, true);
    std::reverse(codes.begin(), codes.end());
    sendKeys(d, codes, false);
}

void keysDown(const QString& keys) { sendKeys(display(), keyCodes(display(), keys), true); }

void keysUp(const QString& keys, unsigned long delayMs) { sendKeys(display(), keyCodes(display(), keys), false, delayMs); }

void clickAt(QPoint position)
{
    Display* d = display();
    XTestFakeMotionEvent(d, -1, position.x(), position.y(), CurrentTime);
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XFlush(d);
}

// ------------------------------------------------------------------------------------ text

namespace {

std::optional<QString> textOf(AtspiAccessible* object)
{
    AtspiText* text = atspi_accessible_get_text_iface(object);
    if (!text) return std::nullopt;
    GError* error = nullptr;
    gchar* content = atspi_text_get_text(text, 0, -1, &error);
    g_object_unref(text);
    if (error) {
        g_error_free(error);
        return std::nullopt;
    }
    const QString result = QString::fromUtf8(content);
    g_free(content);
    return result;
}

} // namespace

std::optional<QString> applicationText(pid_t pid)
{
    AccessiblePtr object = textObject(pid);
    return object ? textOf(object.get()) : std::nullopt;
}

std::optional<QString> TextReader::text()
{
    if (m_object)
        if (auto text = textOf(static_cast<AtspiAccessible*>(m_object.get()))) return text;
    // Not found yet, or gone (the application rebuilt it): look again.
    AccessiblePtr found = textObject(m_pid);
    if (!found) return std::nullopt;
    m_object = std::shared_ptr<void>(found.release(), g_object_unref);
    return textOf(static_cast<AtspiAccessible*>(m_object.get()));
}

bool selectText(pid_t pid, int start, int end)
{
    AccessiblePtr object = textObject(pid);
    if (!object) return false;
    AtspiText* text = atspi_accessible_get_text_iface(object.get());
    if (!text) return false;
    GError* error = nullptr;
    gboolean ok = atspi_text_get_n_selections(text, nullptr) > 0 ? atspi_text_set_selection(text, 0, start, end, &error)
                                                                : atspi_text_add_selection(text, start, end, &error);
    g_object_unref(text);
    if (error) {
        g_error_free(error);
        return false;
    }
    return ok;
}

std::optional<QRect> textExtents(pid_t pid, int start, int end)
{
    AccessiblePtr object = textObject(pid);
    AtspiText* text = object ? atspi_accessible_get_text_iface(object.get()) : nullptr;
    if (!text) return std::nullopt;
    GError* error = nullptr;
    AtspiRect* r = atspi_text_get_range_extents(text, start, end, ATSPI_COORD_TYPE_SCREEN, &error);
    g_object_unref(text);
    if (error) g_error_free(error);
    std::optional<QRect> result;
    if (r && !error && r->width > 0) result = QRect(r->x, r->y, r->width, r->height);
    g_free(r);
    return result;
}

bool setApplicationText(pid_t pid, const QString& text)
{
    AccessiblePtr object = textObject(pid);
    if (!object) return false;
    AtspiText* plain = atspi_accessible_get_text_iface(object.get());
    AtspiEditableText* editable = atspi_accessible_get_editable_text_iface(object.get());
    if (!plain || !editable) {
        if (plain) g_object_unref(plain);
        if (editable) g_object_unref(editable);
        return false;
    }
    // Delete and insert: GTK editors do not all take set_text_contents.
    GError* error = nullptr;
    const gint length = atspi_text_get_character_count(plain, &error);
    bool ok = !error && atspi_editable_text_delete_text(editable, 0, length, &error);
    const QByteArray utf8 = text.toUtf8();
    // GTK counts the inserted length in bytes.
    ok = ok && !error && atspi_editable_text_insert_text(editable, 0, utf8.constData(), int(utf8.size()), &error);
    g_object_unref(plain);
    g_object_unref(editable);
    if (error) {
        g_error_free(error);
        return false;
    }
    return ok;
}

std::optional<QByteArray> selectionData(const QString& selection, const QString& target)
{
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"), {QStringLiteral("-out"), QStringLiteral("-selection"), selection,
                                          QStringLiteral("-target"), target});
    if (!xclip.waitForFinished(10000)) {
        xclip.kill();
        xclip.waitForFinished();
        return std::nullopt;
    }
    if (xclip.exitStatus() != QProcess::NormalExit || xclip.exitCode() != 0) return std::nullopt;
    return xclip.readAllStandardOutput();
}

// ------------------------------------------------------------------------------------ processes

bool processRunning(pid_t pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray stat = file.readAll();
    const qsizetype after = stat.lastIndexOf(')');
    return after > 0 && stat.size() > after + 2 && stat[after + 2] != 'Z';
}

std::optional<qint64> residentKiB(pid_t pid) { return statusKiB(pid, "VmRSS"); }

std::optional<qint64> statusKiB(pid_t pid, const QByteArray& field)
{
    QFile file(QStringLiteral("/proc/%1/status").arg(pid));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray prefix = field + ':';
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(prefix)) return line.mid(prefix.size()).trimmed().split(' ').first().toLongLong();
    return std::nullopt;
}

std::optional<qint64> cpuMilliseconds(pid_t pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray stat = file.readAll();
    // Fields after the command name (which may hold spaces) start after the last ')'.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return std::nullopt;
    const qint64 ticks = fields[11].toLongLong() + fields[12].toLongLong(); // utime, stime
    return ticks * 1000 / sysconf(_SC_CLK_TCK);
}

// ------------------------------------------------------------------------------------ pictures

bool keyboardGrabbedElsewhere()
{
    Display* d = display();
    const int status = XGrabKeyboard(d, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync, CurrentTime);
    if (status == GrabSuccess) XUngrabKeyboard(d, CurrentTime);
    XSync(d, False);
    return status == AlreadyGrabbed;
}

bool publishTrayColour(const QColor& foreground)
{
    Display* d = display();
    const QByteArray selection = "_NET_SYSTEM_TRAY_S" + QByteArray::number(DefaultScreen(d));
    const ::Window tray = XGetSelectionOwner(d, XInternAtom(d, selection.constData(), False));
    if (!tray) return false;
    const QRgba64 c = foreground.rgba64();
    // Foreground, error, warning and success, 16 bits a channel; the last three as the first.
    std::vector<long> values;
    for (int i = 0; i < 4; ++i) values.insert(values.end(), {long(c.red()), long(c.green()), long(c.blue())});
    XChangeProperty(d, tray, XInternAtom(d, "_NET_SYSTEM_TRAY_COLORS", False), XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(values.data()), int(values.size()));
    XSync(d, False);
    return true;
}

QImage screenshot(const QRect& area)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    const QRect r = area.isNull() ? screen->geometry() : area;
    return screen->grabWindow(0, r.x(), r.y(), r.width(), r.height()).toImage();
}

QString outputFolder()
{
    QString folder = qEnvironmentVariable("SORELWICK_TEST_OUTPUT");
    if (folder.isEmpty()) folder = QDir::currentPath();
    QDir().mkpath(folder);
    return folder;
}

} // namespace E2e
