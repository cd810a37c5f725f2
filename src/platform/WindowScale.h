#pragma once

#include <QMarginsF>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <optional>

// An application's own scale, found by holding its top-level window as it reports it over the
// accessibility bus against the same window in the window system's device pixels. GTK at
// GDK_SCALE=2 and Qt at QT_SCALE_FACTOR=2 report every rectangle in their enlarged units, and
// nothing in what they report says so.
namespace WindowScale {

// The application's window as the window system has it: device pixels, root coordinates.
struct DeviceWindow {
    QRectF client;
    QMarginsF decorations; // the window manager's frame around it (_NET_FRAME_EXTENTS)
    QMarginsF shadow;      // invisible margins of a window that draws its own frame (_GTK_FRAME_EXTENTS)
};

// Reported units to device pixels: device = reported × scale + offset.
struct Mapping {
    double scale = 1;
    QPointF offset;

    QRectF toDevice(const QRectF& reported) const;
    bool operator==(const Mapping&) const = default;
};

// The mapping, or why there is none.
struct Finding {
    std::optional<Mapping> mapping;
    QString why;
};

// The scales applications run at: integers for GTK, the usual fractional steps for Qt.
inline constexpr double knownScales[] = {1, 1.25, 1.5, 1.75, 2, 2.5, 3, 4};

// A toolkit reports its window with the window manager's frame (GTK), without it (Qt), or, when
// it draws its own frame, without its shadow: each is tried. A known scale fits when the reported
// size times it comes within rounding (2 × scale + 1 pixels) of one of them. There is a mapping
// only when exactly one scale fits; its offset is what remains between the positions, taken as
// none when within rounding (GDK and Qt scale around the origin of a screen at the root's origin).
Finding derive(const QRectF& reported, const DeviceWindow& device);

} // namespace WindowScale
