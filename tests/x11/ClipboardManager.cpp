// A clipboard manager as desktops run one (ICCCM): holds CLIPBOARD_MANAGER; asked to convert it
// to SAVE_TARGETS, it reads every target of CLIPBOARD in one MULTIPLE request (as GNOME's does),
// takes CLIPBOARD with that content, answers, and serves it from then on. Prints "ready" once it
// holds CLIPBOARD_MANAGER, "saved <n>" after each hand-over. Pieces (INCR) are not handled.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

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

// The next SelectionNotify for our window (other events are served meanwhile by nobody: the
// owner asked answers us alone).
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

} // namespace

int main()
{
    dpy = XOpenDisplay(nullptr);
    if (!dpy) return 2;
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; }); // a requestor may be gone
    window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    const auto atom = [](const char* name) { return XInternAtom(dpy, name, False); };
    const Atom manager = atom("CLIPBOARD_MANAGER"), saveTargets = atom("SAVE_TARGETS"), clipboard = atom("CLIPBOARD"),
               targets = atom("TARGETS"), multiple = atom("MULTIPLE"), atomPair = atom("ATOM_PAIR"),
               timestamp = atom("TIMESTAMP"), incoming = atom("MANAGER_INCOMING");
    XSetSelectionOwner(dpy, manager, window, CurrentTime);
    if (XGetSelectionOwner(dpy, manager) != window) return 3;
    std::printf("ready\n");
    std::fflush(stdout);

    std::vector<Saved> saved;
    for (;;) {
        XEvent e;
        XNextEvent(dpy, &e);
        if (e.type != SelectionRequest) continue;
        const XSelectionRequestEvent r = e.xselectionrequest;
        XEvent reply{};
        reply.xselection.type = SelectionNotify;
        reply.xselection.requestor = r.requestor;
        reply.xselection.selection = r.selection;
        reply.xselection.target = r.target;
        reply.xselection.time = r.time;
        reply.xselection.property = None;
        if (r.selection == manager && r.target == saveTargets) {
            XConvertSelection(dpy, clipboard, targets, incoming, window, CurrentTime);
            Saved list{};
            std::vector<Atom> wanted;
            if (awaitNotify().property != None && readProperty(incoming, list))
                for (const long a : list.longs)
                    if (Atom(a) != targets && Atom(a) != multiple && Atom(a) != timestamp && Atom(a) != saveTargets)
                        wanted.push_back(Atom(a));
            std::vector<long> pairs;
            for (std::size_t i = 0; i < wanted.size(); ++i) {
                pairs.push_back(long(wanted[i]));
                pairs.push_back(long(atom(("MANAGER_" + std::to_string(i)).c_str())));
            }
            XChangeProperty(dpy, window, incoming, atomPair, 32, PropModeReplace,
                            reinterpret_cast<unsigned char*>(pairs.data()), int(pairs.size()));
            XConvertSelection(dpy, clipboard, multiple, incoming, window, CurrentTime);
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
            if (!got.empty()) {
                saved = got;
                XSetSelectionOwner(dpy, clipboard, window, CurrentTime);
                if (r.property != None)
                    XChangeProperty(dpy, r.requestor, r.property, atom("NULL"), 32, PropModeReplace, nullptr, 0);
                reply.xselection.property = r.property == None ? saveTargets : r.property;
            }
            std::printf("saved %zu\n", got.size());
            std::fflush(stdout);
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
