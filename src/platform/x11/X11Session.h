#pragma once

#include <QString>

// What kind of graphical session this is. X11 services work fully in an X11 session; in a
// Wayland session they reach only XWayland applications, and nothing without a DISPLAY.
struct X11Session {
    bool wayland = false;
    bool hasDisplay = false;

    bool isX11() const { return hasDisplay && !wayland; }

    // From XDG_SESSION_TYPE, WAYLAND_DISPLAY and DISPLAY.
    static X11Session fromEnvironment();
    // Logs once per process what will not work in this session.
    static X11Session checkAndLog();
};
