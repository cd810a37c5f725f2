#pragma once

#include "platform/Screens.h"

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <optional>

// Where the candidate panel opens: next to the selection's bounds (global, origin top left, as
// Capture::selectionBounds carries them), or at the mouse pointer when they are unknown (on the
// monitor of the window being typed in: see origin).
struct PanelAnchor {
    enum class Kind { selection, mouse };

    Kind kind = Kind::mouse;
    QRectF rect; // for selection

    static PanelAnchor selection(const QRectF& bounds) { return {Kind::selection, bounds}; }
    static PanelAnchor mouse() { return {}; }
    bool operator==(const PanelAnchor&) const = default;
};

// The arithmetic of the panel's position, free of any window system.
//
// All coordinates are global with the origin at the top left of the primary screen and y growing
// downwards: the convention of Qt, X11 and the accessibility bounds alike, so nothing is flipped
// on the way. The rule is the familiar bottom-left one turned over: the panel opens below the
// selection with a 6-point gap (18 at the mouse), left edges aligned, and goes above when its
// bottom would cross the bottom of the screen's visible area; then it is kept inside that area,
// and a panel taller or wider than the area ends at its top or right edge.
namespace PanelPlacement {

inline constexpr double selectionGap = 6;
inline constexpr double mouseGap = 18;

// The top-left corner of the panel. screens lists the primary screen first; the screen is the
// first that contains the anchor's probe point (the mouse, or the middle of the selection's
// bottom edge), else the main screen; without either the below position is used unclamped.
//
// Without a selection the user may type on one monitor while the pointer rests on another: when
// the focused window is known and the pointer is neither on the monitor holding most of it nor
// inside it, the middle of its part on that monitor stands in for the pointer.
//
// Where the pointer's place is unknown (a native Wayland window has the keyboard) the panel opens
// centred across the monitor holding most of the focused window, else the main one, its top a
// sixth of the way down the visible area, so that it stays in the upper third as it grows.
QPointF origin(const PanelAnchor& anchor, const QSizeF& size, const QList<Screen>& screens,
               const std::optional<Screen>& mainScreen, const std::optional<QPointF>& mouseLocation,
               const std::optional<QRectF>& focusedWindow = std::nullopt);

// The same, asking the screens service.
QPointF origin(const PanelAnchor& anchor, const QSizeF& size, Screens& screens);

} // namespace PanelPlacement
