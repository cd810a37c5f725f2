#pragma once

#include <QByteArray>

// What the desktop gave a start of `sorelwick --trigger` (or --settings …) so that the window it
// leads to may take the focus: a Wayland xdg-activation token, an X startup-notification id.
// Either is empty when the desktop gave none (gsd-media-keys gives neither).
struct Activation {
    QByteArray xdgActivationToken; // XDG_ACTIVATION_TOKEN
    QByteArray desktopStartupId; // DESKTOP_STARTUP_ID

    bool isEmpty() const { return xdgActivationToken.isEmpty() && desktopStartupId.isEmpty(); }
    bool operator==(const Activation&) const = default;

    // This process's own environment, as a desktop sets it for a command it starts.
    static Activation fromEnvironment();

    // The one handed over with the latest request, kept for the window that request leads to;
    // take() hands it out once, so a later window never uses a stale token.
    static void setPending(Activation activation);
    static Activation takePending();
};
