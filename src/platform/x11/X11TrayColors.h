#pragma once

#include <QColor>

#include <optional>

// The colour a system tray asks its icons to draw in: trays on X do not tint an icon's shape as
// a dark or light panel needs, so those that care say which foreground to use instead
// (_NET_SYSTEM_TRAY_COLORS on the owner of _NET_SYSTEM_TRAY_S<screen>: twelve 16-bit CARDINALs,
// foreground, error, warning and success; xfce4-panel, MATE's and GNOME's trays set it).
// Absent without an X display or a tray, when the tray sets no colours, or when what it set is
// not that list (logged).
namespace X11TrayColors {
std::optional<QColor> foreground();
}
