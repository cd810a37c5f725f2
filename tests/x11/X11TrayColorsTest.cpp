#include "DesktopTestSupport.h"

#include "platform/x11/X11Connection.h"
#include "platform/x11/X11TrayColors.h"

#include <gtest/gtest.h>

using namespace DesktopTest;

TEST(X11TrayColorsTest, followsTheTraysForegroundFromItsStartToItsEnd)
{
    X11TrayColors colours(X11Connection::open());
    int calls = 0;
    colours.setListener([&] { ++calls; });
    const auto changed = [&](int before) { return waitUntil([&] { return calls > before; }, 3s); };
    EXPECT_EQ(colours.foreground(), std::nullopt) << "no tray yet";

    // A tray that starts later, and says no colour.
    auto tray = LaunchedApp::start(QStringLiteral("trayer"), {QStringLiteral("--SetDockType"), QStringLiteral("true")});
    ASSERT_TRUE(tray && waitUntil([&] { return calls > 0; }, 10s)) << "the new tray went unnoticed";
    EXPECT_EQ(colours.foreground(), std::nullopt);
    // Light on a dark panel, in the 16 bits a channel that trays write.
    int seen = calls;
    ASSERT_TRUE(setTrayColours({0xffff, 0xeeee, 0x1010, 0xffff, 0, 0, 0xffff, 0x8080, 0, 0, 0xffff, 0}));
    ASSERT_TRUE(changed(seen)) << "the tray's new colours went unnoticed";
    EXPECT_EQ(colours.foreground(), QColor(0xff, 0xee, 0x10));
    // Only the foreground is needed.
    setTrayColours({0, 0x8080, 0xffff});
    EXPECT_EQ(colours.foreground(), QColor(0, 0x80, 0xff));
    // What is not that list is no colour: too short, another type, beyond 16 bits, none.
    for (const auto& [type, values] : {std::pair<const char*, std::vector<long>>{"CARDINAL", {0xffff, 0xffff}},
                                       {"INTEGER", {0xffff, 0xffff, 0xffff}}, {"CARDINAL", {0x1ffff, 0, 0}}, {"CARDINAL", {}}}) {
        setTrayColours(values, type);
        EXPECT_EQ(colours.foreground(), std::nullopt) << type << ", " << values.size() << " values";
    }

    // The tray ends: no owner, no colour, and the listener hears of it.
    setTrayColours({0x1111, 0x2222, 0x3333});
    ASSERT_TRUE(waitUntil([&] { return colours.foreground() == QColor(0x11, 0x22, 0x33); }, 3s));
    seen = calls;
    tray.reset();
    ASSERT_TRUE(changed(seen)) << "the tray's end went unnoticed";
    EXPECT_EQ(colours.foreground(), std::nullopt);
}
