#include "DesktopTestSupport.h"

#include "platform/atspi/AtspiThread.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QPixmap>
#include <QScreen>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <atspi/atspi.h>
#include <glib.h>

#include <algorithm>
#include <csignal>
#include <thread>
#include <type_traits>
#include <vector>

namespace DesktopTest {

namespace {

// X errors from our probes (a window gone meanwhile, a refused grab) are answers, not a reason
// for Xlib to exit; errors of other connections go on to the handler there was.
int s_lastError = 0;
Display* s_display = nullptr;
int (*s_previousHandler)(Display*, XErrorEvent*) = nullptr;

Display* display()
{
    static const bool opened = [] {
        s_display = XOpenDisplay(nullptr);
        s_previousHandler = XSetErrorHandler([](Display* d, XErrorEvent* e) {
            if (d != s_display) return s_previousHandler ? s_previousHandler(d, e) : 0;
            s_lastError = e->error_code;
            return 0;
        });
        return true;
    }();
    (void)opened;
    return s_display;
}

template <typename T> struct XFreer {
    void operator()(T* p) const
    {
        if (p) XFree(p);
    }
};

// A window property's items of the given format (format 32 ones as longs, in Xlib's convention);
// empty when it is absent or of another format.
QByteArray property(unsigned long w, const char* name, Atom type, int wanted)
{
    Display* d = display();
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* raw = nullptr;
    if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 1 << 16, False, type, &actualType, &format, &count,
                           &after, &raw) != Success || !raw)
        return {};
    std::unique_ptr<unsigned char, XFreer<unsigned char>> owned(raw);
    const qsizetype size = qsizetype(count) * (format == 32 ? qsizetype(sizeof(long)) : 1);
    return format == wanted ? QByteArray(reinterpret_cast<const char*>(raw), size) : QByteArray();
}

std::vector<unsigned long> cardinals(unsigned long w, const char* name, Atom type)
{
    const QByteArray items = property(w, name, type, 32);
    const auto* first = reinterpret_cast<const unsigned long*>(items.constData());
    return std::vector<unsigned long>(first, first + items.size() / qsizetype(sizeof(long)));
}

bool ownedBy(unsigned long window, pid_t pid)
{
    const auto owner = cardinals(window, "_NET_WM_PID", XA_CARDINAL);
    return !owner.empty() && pid_t(owner.front()) == pid;
}

unsigned long clientWindow(pid_t pid)
{
    for (unsigned long w : cardinals(DefaultRootWindow(display()), "_NET_CLIENT_LIST", XA_WINDOW))
        if (ownedBy(w, pid)) return w;
    return 0;
}

unsigned long activeWindow()
{
    const auto active = cardinals(DefaultRootWindow(display()), "_NET_ACTIVE_WINDOW", XA_WINDOW);
    return active.empty() ? 0 : active.front();
}

QString windowName(unsigned long window)
{
    return QString::fromUtf8(property(window, "_NET_WM_NAME", XInternAtom(display(), "UTF8_STRING", False), 8));
}

void collect(unsigned long window, pid_t pid, QList<Window>& out, int depth)
{
    Display* d = display();
    if (window != DefaultRootWindow(d)) {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(d, window, &attributes) || attributes.map_state != IsViewable) return;
        if (ownedBy(window, pid)) out.append({window, windowName(window), windowFrame(window)});
    }
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (depth > 3 || !XQueryTree(d, window, &root, &parent, &children, &count)) return;
    std::unique_ptr<::Window, XFreer<::Window>> owned(children);
    for (unsigned int i = 0; i < count; ++i) collect(children[i], pid, out, depth + 1);
}

QList<KeyCode> keyCodes(const QString& keys)
{
    static const QHash<QString, QString> modifiers{{QStringLiteral("ctrl"), QStringLiteral("Control_L")},
                                                   {QStringLiteral("alt"), QStringLiteral("Alt_L")},
                                                   {QStringLiteral("shift"), QStringLiteral("Shift_L")},
                                                   {QStringLiteral("super"), QStringLiteral("Super_L")}};
    QList<KeyCode> codes;
    for (const QString& part : keys.split(QLatin1Char('+')))
        codes << XKeysymToKeycode(display(), XStringToKeysym(modifiers.value(part, part).toLatin1().constData()));
    return codes;
}

void sendKeys(const QList<KeyCode>& codes, bool down, unsigned long delayMs = CurrentTime)
{
    for (KeyCode c : codes) {
        XTestFakeKeyEvent(display(), c, down, delayMs);
        delayMs = CurrentTime;
    }
    XFlush(display());
}

struct GObjectDeleter {
    void operator()(void* p) const
    {
        if (p) g_object_unref(p);
    }
};
using AccessiblePtr = std::unique_ptr<AtspiAccessible, GObjectDeleter>;
using TextPtr = std::unique_ptr<AtspiText, GObjectDeleter>;

// libatspi is not thread-safe: these calls run on the thread the code under test makes its own
// on (a desktop test holds one), never beside it; on one of their own where nothing holds it.
template <typename F>
std::invoke_result_t<F> onAtspiThread(F job)
{
    using T = std::invoke_result_t<F>;
    return AtspiThread::shared()->run<T>(std::function<T()>(std::move(job)));
}

AccessiblePtr applicationOf(pid_t pid)
{
    static const bool initialised = (atspi_init(), true);
    (void)initialised;
    AccessiblePtr desktop(atspi_get_desktop(0));
    const gint count = desktop ? atspi_accessible_get_child_count(desktop.get(), nullptr) : 0;
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
    if (editable && TextPtr(atspi_accessible_get_text_iface(node)))
        return AccessiblePtr(ATSPI_ACCESSIBLE(g_object_ref(node)));
    const gint count = atspi_accessible_get_child_count(node, nullptr);
    for (gint i = 0; i < count; ++i) {
        AccessiblePtr child(atspi_accessible_get_child_at_index(node, i, nullptr));
        if (AccessiblePtr found = child ? findText(child.get(), depth + 1) : nullptr) return found;
    }
    return nullptr;
}

TextPtr textOf(pid_t pid)
{
    AccessiblePtr app = applicationOf(pid);
    AccessiblePtr object = app ? findText(app.get(), 0) : nullptr;
    return TextPtr(object ? atspi_accessible_get_text_iface(object.get()) : nullptr);
}

// Whether a libatspi call went through (its error, if any, freed).
bool succeeded(GError* error)
{
    if (error) g_error_free(error);
    return !error;
}

std::optional<QString> contentOf(AtspiText* text)
{
    // To the character count: GTK 3 cuts the end of text holding an emoji at -1.
    GError* error = nullptr;
    const gint count = atspi_text_get_character_count(text, &error);
    gchar* content = error ? nullptr : atspi_text_get_text(text, 0, count, &error);
    if (!succeeded(error)) return std::nullopt;
    const QString result = QString::fromUtf8(content);
    g_free(content);
    return result;
}

} // namespace

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        if (QCoreApplication::instance()) QCoreApplication::processEvents();
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= end) return condition();
        std::this_thread::sleep_for(10ms);
    }
}

bool insideDesktopSession()
{
    return qEnvironmentVariableIsSet("DISPLAY") && qEnvironmentVariableIsSet("SORELWICK_DESKTOP_TMP");
}

QString testEditorPath() { return QStringLiteral(SORELWICK_TEST_EDITOR); }

QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// ------------------------------------------------------------------------------------ programs

std::unique_ptr<LaunchedApp> LaunchedApp::start(const QString& program, const QStringList& arguments,
                                                const QString& errorFile)
{
    std::unique_ptr<LaunchedApp> app(new LaunchedApp);
    if (errorFile.isEmpty()) app->m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    else app->m_process.setStandardErrorFile(errorFile, QIODevice::Append);
    app->m_process.start(program, arguments);
    if (!app->m_process.waitForStarted(5000)) return nullptr;
    app->m_pid = pid_t(app->m_process.processId());
    return app;
}

bool LaunchedApp::running() { return m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(0); }

LaunchedApp::~LaunchedApp()
{
    if (!running()) return;
    kill(m_pid, SIGCONT);
    kill(m_pid, SIGTERM);
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

bool LaunchedApp::waitForWindow(std::chrono::milliseconds deadline)
{
    return waitUntil([&] { return (m_window = clientWindow(m_pid)) != 0; }, deadline);
}

bool LaunchedApp::activate(std::chrono::milliseconds deadline)
{
    return (m_window || waitForWindow(deadline)) && DesktopTest::activate(m_window, deadline);
}

bool LaunchedApp::waitForAccessible(std::chrono::milliseconds deadline)
{
    return waitUntil([&] { return registeredOnAccessibilityBus(m_pid); }, deadline);
}

bool LaunchedApp::said(const QByteArray& line, int times, std::chrono::milliseconds deadline)
{
    return waitUntil([&] {
        m_output += m_process.readAllStandardOutput();
        return m_output.count(line + '\n') >= times;
    }, deadline);
}

void LaunchedApp::stop() { kill(m_pid, SIGSTOP); }
void LaunchedApp::resume() { kill(m_pid, SIGCONT); }

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

bool xdotool(const QStringList& arguments) { return run(QStringLiteral("xdotool"), arguments).has_value(); }

bool processRunning(pid_t pid)
{
    const QString stat = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype after = stat.lastIndexOf(u')');
    return after > 0 && stat.size() > after + 2 && stat[after + 2] != u'Z';
}

// ------------------------------------------------------------------------------------ windows

bool activate(unsigned long window, std::chrono::milliseconds deadline)
{
    Display* d = display();
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2; // from a pager: the window manager obeys without focus-stealing checks
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(d, DefaultRootWindow(d), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(d);
    return waitUntil([&] { return activeWindow() == window; }, deadline);
}

QByteArray windowProperty(unsigned long window, const char* name) { return property(window, name, AnyPropertyType, 8); }

QRect windowFrame(unsigned long window)
{
    Display* d = display();
    XWindowAttributes attributes{};
    if (!window || !XGetWindowAttributes(d, window, &attributes)) return {};
    int x = 0, y = 0;
    ::Window child = 0;
    XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &x, &y, &child);
    return QRect(x, y, attributes.width, attributes.height);
}

QList<Window> visibleWindows(pid_t pid)
{
    QList<Window> out;
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
    s_lastError = 0;
    XGrabKey(d, code, modifiers, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync);
    XSync(d, False);
    const bool refused = s_lastError == BadAccess;
    if (!refused) XUngrabKey(d, code, modifiers, DefaultRootWindow(d));
    XSync(d, False);
    return refused;
}

bool keyboardGrabbedElsewhere()
{
    const bool ours = grabKeyboard(true);
    grabKeyboard(false);
    return !ours;
}

// ------------------------------------------------------------------------------------ keys

void pressChord(const QString& chord)
{
    QList<KeyCode> codes = keyCodes(chord);
    sendKeys(codes, true);
    std::reverse(codes.begin(), codes.end());
    sendKeys(codes, false);
}

void keysDown(const QString& keys) { sendKeys(keyCodes(keys), true); }

void keysUp(const QString& keys, unsigned long delayMs) { sendKeys(keyCodes(keys), false, delayMs); }

bool keyIsDown(const QString& key)
{
    const QList<KeyCode> codes = keyCodes(key);
    char keys[32] = {};
    XQueryKeymap(display(), keys);
    return !codes.isEmpty() && (keys[codes[0] / 8] & (1 << (codes[0] % 8)));
}

void clickAt(QPoint position)
{
    Display* d = display();
    XTestFakeMotionEvent(d, -1, position.x(), position.y(), CurrentTime);
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XFlush(d);
}

// ------------------------------------------------------------------------------------ text

bool registeredOnAccessibilityBus(pid_t pid)
{
    return onAtspiThread([pid] { return applicationOf(pid) != nullptr; });
}

std::optional<QString> applicationText(pid_t pid) { return TextReader(pid).text(); }

std::optional<QString> TextReader::text()
{
    return onAtspiThread([this] { return read(); });
}

std::optional<QString> TextReader::read()
{
    if (m_object)
        if (auto content = contentOf(static_cast<AtspiText*>(m_object.get()))) return content;
    // Not found yet, or gone (the application rebuilt it): look again.
    TextPtr found = textOf(m_pid);
    if (!found) return std::nullopt;
    m_object = std::shared_ptr<void>(found.release(), [](void* object) {
        onAtspiThread([object] { g_object_unref(object); });
    });
    return contentOf(static_cast<AtspiText*>(m_object.get()));
}

bool selectText(pid_t pid, int start, int end)
{
    return onAtspiThread([&] {
        const TextPtr text = textOf(pid);
        if (!text) return false;
        GError* error = nullptr;
        const bool ok = atspi_text_get_n_selections(text.get(), nullptr) > 0
            ? atspi_text_set_selection(text.get(), 0, start, end, &error)
            : atspi_text_add_selection(text.get(), start, end, &error);
        return succeeded(error) && ok;
    });
}

std::optional<QRect> textExtents(pid_t pid, int start, int end)
{
    return onAtspiThread([&]() -> std::optional<QRect> {
        const TextPtr text = textOf(pid);
        if (!text) return std::nullopt;
        GError* error = nullptr;
        AtspiRect* r = atspi_text_get_range_extents(text.get(), start, end, ATSPI_COORD_TYPE_SCREEN, &error);
        std::optional<QRect> result;
        if (succeeded(error) && r && r->width > 0) result = QRect(r->x, r->y, r->width, r->height);
        g_free(r);
        return result;
    });
}

std::optional<int> caretOffset(pid_t pid)
{
    return onAtspiThread([pid]() -> std::optional<int> {
        const TextPtr text = textOf(pid);
        GError* error = nullptr;
        const gint caret = text ? atspi_text_get_caret_offset(text.get(), &error) : -1;
        return succeeded(error) && caret >= 0 ? std::optional<int>(caret) : std::nullopt;
    });
}

bool setApplicationText(pid_t pid, const QString& text)
{
    return onAtspiThread([&] {
        const TextPtr plain = textOf(pid);
        if (!plain) return false;
        std::unique_ptr<AtspiEditableText, GObjectDeleter> editable(
            atspi_accessible_get_editable_text_iface(ATSPI_ACCESSIBLE(plain.get())));
        if (!editable) return false;
        // Delete and insert: GTK editors do not all take set_text_contents. GTK counts the inserted
        // length in bytes.
        GError* error = nullptr;
        const gint length = atspi_text_get_character_count(plain.get(), &error);
        const QByteArray utf8 = text.toUtf8();
        const bool ok = !error && atspi_editable_text_delete_text(editable.get(), 0, length, &error) && !error
            && atspi_editable_text_insert_text(editable.get(), 0, utf8.constData(), int(utf8.size()), &error);
        return succeeded(error) && ok;
    });
}

std::optional<QByteArray> selectionData(const QString& selection, const QString& target)
{
    return run(QStringLiteral("xclip"),
               {QStringLiteral("-out"), QStringLiteral("-selection"), selection, QStringLiteral("-target"), target});
}

// ------------------------------------------------------------------------------------ pictures

bool setTrayColours(const std::vector<long>& values, const char* type)
{
    Display* d = display();
    const QByteArray selection = "_NET_SYSTEM_TRAY_S" + QByteArray::number(DefaultScreen(d));
    const ::Window tray = XGetSelectionOwner(d, XInternAtom(d, selection.constData(), False));
    if (!tray) return false;
    XChangeProperty(d, tray, XInternAtom(d, "_NET_SYSTEM_TRAY_COLORS", False), XInternAtom(d, type, False), 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(values.data()), int(values.size()));
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

// ------------------------------------------------------------------------------------ editors

bool Mousepad::start(const QString& text, const QStringList& environment)
{
    const QString path = dir.filePath(QStringLiteral("text.txt"));
    if (!writeFile(path, text.toUtf8())) return false;
    program = LaunchedApp::start(QStringLiteral("env"), environment + QStringList{QStringLiteral("mousepad"),
                                                                                  QStringLiteral("--disable-server"), path});
    return program && program->activate(10s);
}

bool Mousepad::open(const QString& text, const QStringList& environment)
{
    return start(text, environment) && waitUntil([&] { return applicationText(pid()) == text; }, 15s);
}

bool Mousepad::select(const QString& part)
{
    const qsizetype at = text().indexOf(part);
    return at >= 0 && selectText(pid(), int(at), int(at + part.size()));
}

bool TestEditor::start(const QString& text, qsizetype at, qsizetype length, const QStringList& options,
                       const QStringList& environment)
{
    program = LaunchedApp::start(QStringLiteral("env"),
                                 environment
                                     + QStringList{testEditorPath(), QStringLiteral("--text"), text,
                                                   QStringLiteral("--select"), QStringLiteral("%1,%2").arg(at).arg(length),
                                                   QStringLiteral("--mirror"), mirror()}
                                     + options);
    return program && waitUntil([&] { return this->text() == text; }, 15s) && program->activate(10s);
}

bool grabKeyboard(bool grab)
{
    Display* d = display();
    const bool held = grab && XGrabKeyboard(d, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync, CurrentTime)
        == GrabSuccess;
    if (!grab) XUngrabKeyboard(d, CurrentTime);
    XSync(d, False);
    return held || !grab;
}

} // namespace DesktopTest
