#include "base/Defaults.h"
#include "support/MemoryDefaultsStore.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

// The desktop tier: a real X server with a window manager, reached through Qt's xcb platform.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "The X11 desktop tests need DISPLAY (an X server with a window manager).\n");
        return 1;
    }
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    qputenv("XDG_DATA_HOME", config.path().toUtf8());
    qputenv("QT_QPA_PLATFORM", "xcb");
    Defaults::setShared(std::make_shared<MemoryDefaultsStore>());
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
