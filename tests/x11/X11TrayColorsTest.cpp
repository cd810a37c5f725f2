#include "DesktopTestSupport.h"

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11TrayColors.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

using namespace DesktopTest;

namespace {

// A tray manager of our own: it takes the screen's tray selection and says so on the root window,
// as a panel does when it starts; its window holds whatever colours the case gives it.
struct FakeTray {
    std::shared_ptr<X11Connection> x = X11Connection::open();
    Display* d = x->display();
    ::Window window = XCreateSimpleWindow(d, x->root(), 0, 0, 1, 1, 0, 0, 0);
    Atom colors = x->atom("_NET_SYSTEM_TRAY_COLORS");

    FakeTray()
    {
        const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(DefaultScreen(d));
        const Atom selection = x->atom(name.constData());
        XSetSelectionOwner(d, selection, window, CurrentTime);
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = x->root();
        e.xclient.message_type = x->atom("MANAGER");
        e.xclient.format = 32;
        e.xclient.data.l[0] = CurrentTime;
        e.xclient.data.l[1] = long(selection);
        e.xclient.data.l[2] = long(window);
        XSendEvent(d, x->root(), False, StructureNotifyMask, &e);
        XSync(d, False);
    }
    ~FakeTray() { end(); }
    void end()
    {
        if (!window) return;
        XDestroyWindow(d, window);
        XSync(d, False);
        window = 0;
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

TEST(X11TrayColorsTest, followsTheTraysForegroundFromItsStartToItsEnd)
{
    X11TrayColors colours(X11Connection::open());
    int calls = 0;
    colours.setListener([&] { ++calls; });
    const auto changed = [&](int before) { return waitUntil([&] { return calls > before; }, 3s); };
    EXPECT_EQ(colours.foreground(), std::nullopt) << "no tray yet";

    // A tray that starts later, and says no colour.
    auto tray = std::make_unique<FakeTray>();
    ASSERT_TRUE(changed(0)) << "the new tray went unnoticed";
    EXPECT_EQ(colours.foreground(), std::nullopt);
    // Light on a dark panel, in the 16 bits a channel that trays write.
    int seen = calls;
    tray->set(XA_CARDINAL, {0xffff, 0xeeee, 0x1010, 0xffff, 0, 0, 0xffff, 0x8080, 0, 0, 0xffff, 0});
    ASSERT_TRUE(changed(seen)) << "the tray's new colours went unnoticed";
    EXPECT_EQ(colours.foreground(), QColor(0xff, 0xee, 0x10));
    // Only the foreground is needed.
    tray->set(XA_CARDINAL, {0, 0x8080, 0xffff});
    EXPECT_EQ(colours.foreground(), QColor(0, 0x80, 0xff));
    // What is not that list is no colour: too short, another type, beyond 16 bits, none.
    for (const auto& [type, values] : {std::pair<Atom, std::vector<long>>{XA_CARDINAL, {0xffff, 0xffff}},
                                       {XA_INTEGER, {0xffff, 0xffff, 0xffff}}, {XA_CARDINAL, {0x1ffff, 0, 0}}}) {
        tray->set(type, values);
        EXPECT_EQ(colours.foreground(), std::nullopt) << values.size() << " values";
    }
    tray->clear();
    EXPECT_EQ(colours.foreground(), std::nullopt);

    // The tray ends: no owner, no colour, and the listener hears of it.
    tray->set(XA_CARDINAL, {0x1111, 0x2222, 0x3333});
    ASSERT_TRUE(waitUntil([&] { return colours.foreground() == QColor(0x11, 0x22, 0x33); }, 3s));
    seen = calls;
    tray->end();
    ASSERT_TRUE(changed(seen)) << "the tray's end went unnoticed";
    EXPECT_EQ(colours.foreground(), std::nullopt);
}
