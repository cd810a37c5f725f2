#pragma once

#include <QByteArray>

#include <memory>

class X11Connection;

// Asks the window manager to give one of our windows the keyboard, as an application does for a
// window the user just asked for: _NET_ACTIVE_WINDOW with the server's time of now. A compositor
// that ignores X grabs (mutter in a Wayland session) hands the focus over for a fresh time, and
// may refuse an older one (focus-stealing prevention).
class X11Activation {
public:
    // Null when there is no X display.
    static std::unique_ptr<X11Activation> open();
    ~X11Activation();
    X11Activation(const X11Activation&) = delete;
    X11Activation& operator=(const X11Activation&) = delete;

    // False when the window is not shown yet (the request would be dropped) or is gone. A startup
    // id the desktop gave the press (an activation token or an X startup-notification id, one kind
    // to mutter) becomes the window's _NET_STARTUP_ID, which lets it take the focus, and its
    // startup sequence is then ended.
    bool request(unsigned long window, const QByteArray& startupId = {});
    // Ends the startup sequence the desktop began for the press ("remove:" in the
    // startup-notification protocol), so it stops showing that something is starting.
    void endStartup(const QByteArray& startupId);

private:
    X11Activation(std::shared_ptr<X11Connection> connection, unsigned long timeWindow);
    // The server's time now, from the note of a property change on a window of our own.
    unsigned long serverTime();

    std::shared_ptr<X11Connection> m_connection;
    unsigned long m_timeWindow = 0;
};
