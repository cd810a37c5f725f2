#pragma once

#include <QColor>

#include <functional>
#include <memory>
#include <optional>

class X11Connection;

// The colour a system tray asks its icons to draw in. Trays on X do not tint an icon's shape as a
// dark or light panel needs, so those that care say which foreground to use
// (_NET_SYSTEM_TRAY_COLORS on the owner of _NET_SYSTEM_TRAY_S<screen>: twelve 16-bit CARDINALs,
// foreground, error, warning and success; xfce4-panel, MATE's and GNOME's trays set it).
//
// Follows the tray: one that starts after us (a login's panel often does), goes away or changes
// its colours calls the listener.
class X11TrayColors {
public:
    // Null connection: no X display, never a colour.
    explicit X11TrayColors(std::shared_ptr<X11Connection> connection);
    ~X11TrayColors();
    X11TrayColors(const X11TrayColors&) = delete;
    X11TrayColors& operator=(const X11TrayColors&) = delete;

    // Absent without a tray, when the tray sets no colours, or when what it set is not that list
    // (logged).
    std::optional<QColor> foreground() const;
    // Whether a tray owns the screen's tray selection now.
    bool trayPresent() const { return owner() != 0; }
    void setListener(std::function<void()> listener) { m_listener = std::move(listener); }

private:
    unsigned long owner() const;
    void watchOwner();

    std::shared_ptr<X11Connection> m_connection;
    unsigned long m_trayAtom = 0;
    unsigned long m_colorsAtom = 0;
    unsigned long m_managerAtom = 0;
    unsigned long m_watched = 0; // the tray window whose colours and end we follow
    int m_handler = -1;
    std::function<void()> m_listener;
};
