#include "platform/x11/X11TrayColors.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/x11/X11Connection.h"
#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

namespace {

// A tray manager of our own: it owns the tray selection of the screen, and its window holds
// whatever colours the case gives it.
struct FakeTray {
    std::shared_ptr<X11Connection> x = X11Connection::open();
    Display* d = x->display();
    Window window = XCreateSimpleWindow(d, x->root(), 0, 0, 1, 1, 0, 0, 0);
    Atom colors = x->atom("_NET_SYSTEM_TRAY_COLORS");

    FakeTray()
    {
        const QByteArray selection = "_NET_SYSTEM_TRAY_S" + QByteArray::number(DefaultScreen(d));
        XSetSelectionOwner(d, x->atom(selection.constData()), window, CurrentTime);
        XSync(d, False);
    }
    ~FakeTray()
    {
        XDestroyWindow(d, window);
        XSync(d, False);
    }
    void set(Atom type, const std::vector<long>& values)
    {
        XChangeProperty(d, window, colors, type, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(values.data()), int(values.size()));
        XSync(d, False);
    }
    void clear()
    {
        XDeleteProperty(d, window, colors);
        XSync(d, False);
    }
};

} // namespace

TEST(X11TrayColorsTest, theForegroundTheTrayPublishesAndNothingElse)
{
    {
        FakeTray tray;
        EXPECT_EQ(X11TrayColors::foreground(), std::nullopt) << "a tray that says no colour";
        // Light on a dark panel, in the 16 bits per channel that trays write.
        tray.set(XA_CARDINAL, {0xffff, 0xeeee, 0x1010, 0xffff, 0, 0, 0xffff, 0x8080, 0, 0, 0xffff, 0});
        EXPECT_EQ(X11TrayColors::foreground(), QColor(0xff, 0xee, 0x10));
        // Only the foreground is needed.
        tray.set(XA_CARDINAL, {0, 0x8080, 0xffff});
        EXPECT_EQ(X11TrayColors::foreground(), QColor(0, 0x80, 0xff));
        // What is not that list is no colour: too short, another type, beyond 16 bits.
        tray.set(XA_CARDINAL, {0xffff, 0xffff});
        EXPECT_EQ(X11TrayColors::foreground(), std::nullopt);
        tray.set(XA_INTEGER, {0xffff, 0xffff, 0xffff});
        EXPECT_EQ(X11TrayColors::foreground(), std::nullopt);
        tray.set(XA_CARDINAL, {0x1ffff, 0, 0});
        EXPECT_EQ(X11TrayColors::foreground(), std::nullopt);
        tray.clear();
        EXPECT_EQ(X11TrayColors::foreground(), std::nullopt);
        tray.set(XA_CARDINAL, {0x1111, 0x2222, 0x3333});
    }
    // The tray has gone with its window: no owner, no colour.
    EXPECT_EQ(X11TrayColors::foreground(), std::nullopt);
}
