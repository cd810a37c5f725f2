#include "DesktopTestSupport.h"

#include "base/Defaults.h"
#include "support/MemoryDefaultsStore.h"

#include <QApplication>

#include <cstdio>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!DesktopTest::insideDesktopSession()) {
        // Listing the tests needs no desktop; running them does.
        if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
        std::fprintf(stderr, "The desktop tests run inside tests/desktop/session.sh "
                             "(SORELWICK_STAGES=desktop scripts/test).\n");
        return 1;
    }
    Defaults::setShared(std::make_shared<MemoryDefaultsStore>());
    // As the program runs: GLib's default context is left to libatspi's thread.
    qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
