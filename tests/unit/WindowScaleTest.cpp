#include "platform/WindowScale.h"

#include <gtest/gtest.h>

// Windows as the accessibility bus and the X server gave them on the test desktop (openbox adds 1
// pixel at the sides, 5 at the bottom and a 20-pixel title bar), and what other toolkits do.

namespace {

using WindowScale::DeviceWindow;
using WindowScale::Mapping;

const QMarginsF kOpenbox(1, 20, 1, 5);

struct Case {
    const char* what;
    QRectF reported;
    DeviceWindow device;
    std::optional<Mapping> expected;
};

} // namespace

TEST(WindowScale, theScaleComesFromTheWindowAsEachToolkitReportsItOrNotAtAll)
{
    const Case cases[] = {
        // mousepad at GDK_SCALE=2: its frame with openbox's, halved, position floored, size rounded up.
        {"GTK, frame included", {79, 3, 642, 493}, {{160, 27, 1280, 960}, kOpenbox, {}}, Mapping{2, {}}},
        // The Qt editor at QT_SCALE_FACTOR=2 reports its own area only.
        {"Qt, no frame", {80, 74, 640, 360}, {{160, 147, 1280, 720}, kOpenbox, {}}, Mapping{2, {}}},
        {"the same scale", {159, 7, 1282, 985}, {{160, 27, 1280, 960}, kOpenbox, {}}, Mapping{1, {}}},
        {"Qt at 1.5", {0, 0, 1000, 600}, {{0, 0, 1500, 900}, {}, {}}, Mapping{1.5, {}}},
        // A window that draws its own frame: 24 device pixels of shadow around what GTK reports.
        {"GTK, own frame and shadow", {62, 62, 476, 376}, {{100, 100, 1000, 800}, {}, {24, 24, 24, 24}}, Mapping{2, {}}},
        // Odd device sizes round up on both edges.
        {"rounding", {80, 3, 642, 494}, {{161, 27, 1281, 961}, kOpenbox, {}}, Mapping{2, {}}},
        // Qt scales a screen at x = 1920 around its corner: 1920 + 200 / 2.
        {"Qt on a second screen", {2020, 50, 500, 300}, {{2120, 100, 1000, 600}, {}, {}}, Mapping{2, {-1920, 0}}},

        // The frame counted in but the window manager tells no frame extents: neither side fits.
        {"frame not told", {79, 3, 642, 493}, {{160, 27, 1280, 960}, {}, {}}, {}},
        {"no common ratio", {0, 0, 700, 493}, {{0, 0, 1280, 960}, kOpenbox, {}}, {}},
        // 1.75 and 2 both within rounding.
        {"too small to tell", {0, 0, 32, 32}, {{0, 0, 60, 60}, {}, {}}, {}},
        {"a sliver", {0, 0, 10, 400}, {{0, 0, 20, 800}, {}, {}}, {}},
        {"a flat sliver", {0, 0, 400, 10}, {{0, 0, 800, 20}, {}, {}}, {}},
        {"no window", {0, 0, 640, 480}, {{}, {}, {}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const WindowScale::Finding found = WindowScale::derive(c.reported, c.device);
        EXPECT_EQ(found.mapping, c.expected) << found.why.toStdString();
        EXPECT_EQ(found.why.isEmpty(), found.mapping.has_value()) << "a missing scale says why";
    }
    // The second screen's offset carries a word there to its place.
    EXPECT_EQ((Mapping{2, {-1920, 0}}).toDevice({2030, 60, 40, 20}), QRectF(2140, 120, 80, 40));
}
