// Holds CLIPBOARD with text it sends in pieces (INCR), but stops after the first piece, as an
// owner that hangs mid-transfer does. Prints "owned" once it holds the clipboard.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <vector>

int main()
{
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return 2;
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; }); // a requestor may be gone
    const Window window = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    const Atom clipboard = XInternAtom(dpy, "CLIPBOARD", False);
    const Atom targets = XInternAtom(dpy, "TARGETS", False);
    const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    const Atom incr = XInternAtom(dpy, "INCR", False);
    XSetSelectionOwner(dpy, clipboard, window, CurrentTime);
    if (XGetSelectionOwner(dpy, clipboard) != window) return 3;
    std::printf("owned\n");
    std::fflush(stdout);

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
            reply.xselection.type = SelectionNotify;
            reply.xselection.requestor = r.requestor;
            reply.xselection.selection = r.selection;
            reply.xselection.target = r.target;
            reply.xselection.property = r.property;
            reply.xselection.time = r.time;
            if (r.target == targets) {
                const Atom list[] = {targets, utf8};
                XChangeProperty(dpy, r.requestor, r.property, XA_ATOM, 32, PropModeReplace,
                                reinterpret_cast<const unsigned char*>(list), 2);
            } else if (r.target == utf8) {
                XSelectInput(dpy, r.requestor, PropertyChangeMask);
                const long size = 1 << 20;
                XChangeProperty(dpy, r.requestor, r.property, incr, 32, PropModeReplace,
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
