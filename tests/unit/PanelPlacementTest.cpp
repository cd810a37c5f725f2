#include "core/PanelPlacement.h"

#include <gtest/gtest.h>

// The placement works in top-left coordinates. The figures in the comments are the same
// positions in bottom-left coordinates (y_bl = 900 − y − height on a 900-point primary screen),
// where the rule is usually stated.

namespace {

const Screen kLaptop{QRectF(0, 0, 1440, 900), QRectF(0, 25, 1440, 875)}; // a 25-point top bar
// A second monitor to the right, its top 100 points lower than the laptop's.
const Screen kRight{QRectF(1440, 100, 1920, 1080), QRectF(1440, 100, 1920, 1040)};
const QList<Screen> kBoth{kLaptop, kRight};

} // namespace

TEST(PanelPlacement, belowTheSelectionAboveWhenItWouldLeaveTheScreen)
{
    const struct {
        const char* what;
        QRectF selection;
        QSizeF size;
        QPointF origin;
    } rows[] = {
        {"below with a 6-point gap, left edges aligned (bottom-left 100, 524)", {100, 200, 80, 20}, {320, 150}, {100, 226}},
        {"near the bottom, above (bottom-left y = 900 − 800 + 6 = 106)", {100, 800, 80, 20}, {320, 150}, {100, 644}},
        {"at the right edge, pulled in: 1440 − 320", {1300, 200, 80, 20}, {320, 150}, {1120, 226}},
        {"exactly fitting below, still below", {100, 724, 80, 20}, {320, 150}, {100, 750}},
        {"above but cut by the top bar: kept under it", {100, 100, 80, 700}, {320, 150}, {100, 25}},
        {"wider than the screen: it ends at the right edge", {100, 200, 80, 20}, {2000, 150}, {-560, 226}},
        {"taller than the screen: it ends at the top edge", {100, 200, 80, 20}, {320, 1000}, {100, 25}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(PanelPlacement::origin(PanelAnchor::selection(row.selection), row.size, {kLaptop}, kLaptop, {}), row.origin)
            << row.what;
}

TEST(PanelPlacement, screenChoiceAcrossMonitorsAndWithout)
{
    const QSizeF size{320, 150};

    // The selection on the right monitor near its bottom goes above, kept to that monitor.
    EXPECT_EQ(PanelPlacement::origin(PanelAnchor::selection({1500, 1100, 80, 20}), size, kBoth, kLaptop, {}),
              QPointF(1500, 944));
    // The probe is the middle of the bottom edge: a selection straddling the border belongs to
    // the monitor that holds its middle.
    EXPECT_EQ(PanelPlacement::origin(PanelAnchor::selection({1400, 300, 100, 20}), size, kBoth, kLaptop, {}),
              QPointF(1440, 326));
    EXPECT_EQ(PanelPlacement::origin(PanelAnchor::selection({1300, 300, 100, 20}), size, kBoth, kLaptop, {}),
              QPointF(1120, 326));

    // Off every screen: the main screen's visible area decides.
    EXPECT_EQ(PanelPlacement::origin(PanelAnchor::selection({-500, 200, 80, 20}), size, kBoth, kRight, {}),
              QPointF(1440, 226));
    // No screen at all: the plain below position.
    EXPECT_EQ(PanelPlacement::origin(PanelAnchor::selection({-500, 200, 80, 20}), size, {}, std::nullopt, {}),
              QPointF(-500, 226));
    EXPECT_EQ(PanelPlacement::origin(PanelAnchor::mouse(), size, {}, std::nullopt, QPointF(7, 9)), QPointF(7, 27));

    // Stacked screens: a bottom edge on the border belongs to the upper screen, whichever is listed first.
    const Screen below{QRectF(0, 900, 1440, 900), QRectF(0, 900, 1440, 900)};
    EXPECT_EQ(PanelPlacement::origin(PanelAnchor::selection({100, 880, 80, 20}), size, {below, kLaptop}, below, {}),
              QPointF(100, 724));
}

// Typing on one monitor with the pointer resting on another: the panel comes to the window typed
// in, not to the pointer.
TEST(PanelPlacement, atTheMouseOnTheMonitorOfTheFocusedWindow)
{
    const QSizeF size{320, 150};
    const struct {
        const char* what;
        QPointF mouse;
        std::optional<QRectF> window;
        QPointF origin;
    } rows[] = {
        // An 18-point gap: the pointer at bottom-left (500, 400) gives the bottom-left origin (500, 232).
        {"no window known: the pointer", {500, 500}, std::nullopt, {500, 518}},
        {"no window known, low on the laptop: above the pointer", {500, 850}, std::nullopt, {500, 682}},
        {"window on the right, pointer on the laptop: its middle", {500, 500}, QRectF(1600, 300, 800, 600), {2000, 618}},
        {"pointer elsewhere on the window's monitor: the pointer", {3000, 200}, QRectF(1600, 300, 800, 600), {3000, 218}},
        {"straddling: the middle of its larger part", {100, 100}, QRectF(1000, 200, 1000, 400), {1720, 418}},
        {"pointer inside it on the smaller part: the pointer", {1200, 300}, QRectF(1000, 200, 1000, 400), {1120, 318}},
        {"low on the laptop, pointer on the right: above, on the laptop", {2000, 500}, QRectF(100, 700, 400, 200), {300, 632}},
        {"clipped by the laptop's bottom: the middle of what shows", {2000, 500}, QRectF(100, 500, 400, 600), {300, 718}},
        {"on no monitor: the pointer", {500, 500}, QRectF(-3000, 0, 500, 500), {500, 518}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(PanelPlacement::origin(PanelAnchor::mouse(), size, kBoth, kLaptop, row.mouse, row.window), row.origin)
            << row.what;
}

// A native Wayland window has the keyboard: no pointer position, and a window only where one is
// known. The panel opens across the middle of a monitor, in its upper third.
TEST(PanelPlacement, centredInTheUpperThirdWithoutAPointer)
{
    const struct {
        const char* what;
        QSizeF size;
        std::optional<QRectF> window;
        std::optional<Screen> main;
        QPointF origin;
    } rows[] = {
        {"no window: the main monitor", {320, 150}, std::nullopt, kLaptop, {560, 25 + 875.0 / 6}},
        {"the window's monitor, not the main one", {320, 150}, QRectF(1600, 300, 800, 600), kLaptop,
         {1440 + 800, 100 + 1040.0 / 6}},
        {"a window on no monitor: the main one", {320, 150}, QRectF(-3000, 0, 500, 500), kRight,
         {1440 + 800, 100 + 1040.0 / 6}},
        {"taller than what is left below: kept on the screen", {320, 800}, std::nullopt, kLaptop, {560, 100}},
        {"wider than the monitor: its left edge", {2000, 150}, std::nullopt, kLaptop, {0, 25 + 875.0 / 6}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(PanelPlacement::origin(PanelAnchor::mouse(), row.size, kBoth, row.main, std::nullopt, row.window),
                  row.origin)
            << row.what;
    // A selection's bounds are where the text is, whatever window has the focus, pointer or none.
    EXPECT_EQ(PanelPlacement::origin(PanelAnchor::selection({100, 200, 80, 20}), {320, 150}, kBoth, kLaptop,
                                     std::nullopt, QRectF(1600, 300, 800, 600)),
              QPointF(100, 226));
}
