// The other X clients the X11 and end-to-end tests need, each until it is ended:
//
//   sorelwick_x11_helper formats   holds CLIPBOARD with text, HTML and a PNG picture together, as a
//       browser's copy does, and a 1.5 MB blob that only travels in pieces (INCR). Prints "owned",
//       then "lost" once another program takes the clipboard.
//   sorelwick_x11_helper hotkey    holds Ctrl+Alt+K as Sorelwick holds its shortcut, on the display
//       of $DISPLAY (any of its screens). Prints "ready", then "pressed" at each press.
//   sorelwick_x11_helper manager   a clipboard manager as desktops run one (ICCCM), in Xlib alone:
//       holds CLIPBOARD_MANAGER; asked to convert it to SAVE_TARGETS, it reads every target of
//       CLIPBOARD in one MULTIPLE request (as GNOME's does), takes CLIPBOARD with that content,
//       answers, and serves it from then on (no INCR). Prints "ready", then "saved <n>" after each
//       hand-over.
//   sorelwick_x11_helper stalled   holds CLIPBOARD with text (UTF8_STRING alone, no TARGETS) it sends
//       in pieces (INCR) but stops after the first piece, as an owner that hangs mid-transfer does
//       (Qt's always finishes). Prints "owned".
#include "platform/HotKeyService.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11HotKeys.h"
#include "platform/x11/X11Keymap.h"

#include <QBuffer>
#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPainter>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

namespace {

void say(const char* line)
{
    std::puts(line);
    std::fflush(stdout);
}

int holdFormats()
{
    QImage image(64, 48, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.fillRect(8, 8, 40, 24, QColor(200, 40, 40, 180));
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");

    QByteArray blob(1536 * 1024, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (char& c : blob) { // xorshift: no two pieces alike
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }
    auto* mime = new QMimeData;
    mime->setData(QStringLiteral("text/plain"), QByteArrayLiteral("before: \xec\x88\x98\xeb\x8f\x84 \xf0\x9f\x98\x80"));
    mime->setData(QStringLiteral("text/html"), QByteArrayLiteral("<p><b>before</b> \xec\x88\x98\xeb\x8f\x84</p>"));
    mime->setData(QStringLiteral("image/png"), png);
    mime->setData(QStringLiteral("application/x-sorelwick-blob"), blob);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(mime, QClipboard::Clipboard);
    QObject::connect(clipboard, &QClipboard::changed, [clipboard](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard && !clipboard->ownsClipboard()) say("lost");
    });
    say("owned");
    return QGuiApplication::exec();
}

int holdHotKey()
{
    const auto connection = X11Connection::open();
    if (!connection) return 2;
    X11HotKeys hotKeys(std::make_shared<X11Keymap>(connection));
    hotKeys.installEventHandler([](quint32) { say("pressed"); });
    if (hotKeys.registerHotKey(40, 0x1800, 1).status != HotKeyService::noErr) return 3; // Ctrl+Alt+K
    say("ready");
    return QGuiApplication::exec();
}

struct Saved {
    Atom target;
    Atom type;
    int format;
    std::vector<long> longs; // format 32, as Xlib hands it over
    std::vector<unsigned char> bytes; // formats 8 and 16
    unsigned long count;
};

Display* dpy;
Window window;

Atom atom(const char* name) { return XInternAtom(dpy, name, False); }

// The next SelectionNotify for our window (the owner asked answers us alone meanwhile).
XSelectionEvent awaitNotify()
{
    XEvent e;
    XIfEvent(dpy, &e, [](Display*, XEvent* ev, XPointer) { return Bool(ev->type == SelectionNotify); }, nullptr);
    return e.xselection;
}

bool readProperty(Atom property, Saved& out)
{
    unsigned long after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, window, property, 0, 1 << 24, True, AnyPropertyType, &out.type, &out.format,
                           &out.count, &after, &data)
            != Success
        || out.type == None)
        return false;
    if (out.format == 32) out.longs.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + out.count);
    else out.bytes.assign(data, data + out.count * unsigned(out.format / 8));
    XFree(data);
    return true;
}

bool own(Atom selection, const char* said)
{
    XSetSelectionOwner(dpy, selection, window, CurrentTime);
    if (XGetSelectionOwner(dpy, selection) != window) return false;
    say(said);
    return true;
}

// CLIPBOARD's targets read in one MULTIPLE request; empty when the owner gave none.
std::vector<Saved> saveClipboard()
{
    const Atom clipboard = atom("CLIPBOARD"), targets = atom("TARGETS"), incoming = atom("MANAGER_INCOMING");
    XConvertSelection(dpy, clipboard, targets, incoming, window, CurrentTime);
    Saved list{};
    std::vector<long> pairs;
    if (awaitNotify().property != None && readProperty(incoming, list))
        for (const long a : list.longs)
            if (Atom(a) != targets && Atom(a) != atom("MULTIPLE") && Atom(a) != atom("TIMESTAMP")
                && Atom(a) != atom("SAVE_TARGETS"))
                pairs.insert(pairs.end(), {a, long(atom(("MANAGER_" + std::to_string(pairs.size())).c_str()))});
    XChangeProperty(dpy, window, incoming, atom("ATOM_PAIR"), 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(pairs.data()), int(pairs.size()));
    XConvertSelection(dpy, clipboard, atom("MULTIPLE"), incoming, window, CurrentTime);
    Saved answered{};
    std::vector<Saved> got;
    if (awaitNotify().property != None && readProperty(incoming, answered))
        for (std::size_t i = 0; i + 1 < answered.longs.size(); i += 2) {
            Saved s{};
            if (Atom(answered.longs[i + 1]) != None && readProperty(Atom(answered.longs[i + 1]), s)) {
                s.target = Atom(answered.longs[i]);
                got.push_back(s);
            }
        }
    return got;
}

int manager()
{
    const Atom manager = atom("CLIPBOARD_MANAGER"), clipboard = atom("CLIPBOARD"), targets = atom("TARGETS");
    if (!own(manager, "ready")) return 3;
    std::vector<Saved> saved;
    for (;;) {
        XEvent e;
        XNextEvent(dpy, &e);
        if (e.type != SelectionRequest) continue;
        const XSelectionRequestEvent r = e.xselectionrequest;
        XEvent reply{};
        reply.xselection = {SelectionNotify, 0, False, nullptr, r.requestor, r.selection, r.target, None, r.time};
        if (r.selection == manager && r.target == atom("SAVE_TARGETS")) {
            const std::vector<Saved> got = saveClipboard();
            if (!got.empty()) {
                saved = got;
                XSetSelectionOwner(dpy, clipboard, window, CurrentTime);
                if (r.property != None)
                    XChangeProperty(dpy, r.requestor, r.property, atom("NULL"), 32, PropModeReplace, nullptr, 0);
                reply.xselection.property = r.property == None ? r.target : r.property;
            }
            say(("saved " + std::to_string(got.size())).c_str());
        } else if (r.selection == clipboard && r.target == targets) {
            std::vector<long> list{long(targets)};
            for (const Saved& s : saved) list.push_back(long(s.target));
            XChangeProperty(dpy, r.requestor, r.property, XA_ATOM, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(list.data()), int(list.size()));
            reply.xselection.property = r.property;
        } else if (r.selection == clipboard) {
            for (const Saved& s : saved)
                if (s.target == r.target) {
                    const auto* data = s.format == 32 ? reinterpret_cast<const unsigned char*>(s.longs.data()) : s.bytes.data();
                    XChangeProperty(dpy, r.requestor, r.property, s.type, s.format, PropModeReplace, data, int(s.count));
                    reply.xselection.property = r.property;
                }
        }
        XSendEvent(dpy, r.requestor, False, NoEventMask, &reply);
        XFlush(dpy);
    }
}

int stalled()
{
    const Atom utf8 = atom("UTF8_STRING");
    if (!own(atom("CLIPBOARD"), "owned")) return 3;
    const std::vector<unsigned char> piece(64 * 1024, 'x');
    Window requestor = None;
    Atom property = None;
    bool sent = false;
    for (;;) {
        XEvent e;
        XNextEvent(dpy, &e);
        if (e.type == SelectionRequest) {
            const XSelectionRequestEvent& r = e.xselectionrequest;
            XEvent reply{};
            reply.xselection = {SelectionNotify, 0, False, nullptr, r.requestor, r.selection, r.target, r.property, r.time};
            if (r.target == utf8) {
                XSelectInput(dpy, r.requestor, PropertyChangeMask);
                const long size = 1 << 20;
                XChangeProperty(dpy, r.requestor, r.property, atom("INCR"), 32, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(&size), 1);
                requestor = r.requestor;
                property = r.property;
                sent = false;
            } else {
                reply.xselection.property = None;
            }
            XSendEvent(dpy, r.requestor, False, NoEventMask, &reply);
        } else if (e.type == PropertyNotify && e.xproperty.window == requestor && e.xproperty.atom == property
                   && e.xproperty.state == PropertyDelete && !sent) {
            XChangeProperty(dpy, requestor, property, utf8, 8, PropModeReplace, piece.data(), int(piece.size()));
            sent = true;
        }
        XFlush(dpy);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc == 2 ? argv[1] : "";
    if (mode == "formats" || mode == "hotkey") {
        qputenv("QT_QPA_PLATFORM", "xcb");
        QGuiApplication app(argc, argv);
        return mode == "formats" ? holdFormats() : holdHotKey();
    }
    dpy = XOpenDisplay(nullptr);
    if (!dpy) return 2;
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; }); // a requestor may be gone
    window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    if (mode == "manager") return manager();
    if (mode == "stalled") return stalled();
    return 2;
}
