// The desktop the other tests stand on: applications start, show a window the window manager
// lists and activates, register on the accessibility bus, and go away by PID, stopped or not.

#include "DesktopTestSupport.h"

#include <QTemporaryDir>

#include <csignal>
#include <gtest/gtest.h>

using namespace DesktopTest;

TEST(Harness, QtEditorAndMousepadComeUpActivateAndRegister)
{
    auto editor = LaunchedApp::start(testEditorPath(), {QStringLiteral("--text"), QStringLiteral("가")});
    ASSERT_TRUE(editor);
    ASSERT_TRUE(editor->waitForWindow());
    ASSERT_TRUE(editor->waitForAccessible());

    QTemporaryDir dir;
    auto mousepad = LaunchedApp::start(QStringLiteral("mousepad"), {dir.filePath(QStringLiteral("a.txt"))});
    ASSERT_TRUE(mousepad);
    ASSERT_TRUE(mousepad->waitForWindow());
    ASSERT_TRUE(mousepad->waitForAccessible());

    ASSERT_TRUE(editor->activate());
    EXPECT_EQ(activeWindow(), editor->window());
    ASSERT_TRUE(mousepad->activate());
    EXPECT_EQ(activeWindow(), mousepad->window());
}

TEST(Harness, AStoppedApplicationIsEndedAndLeavesTheBus)
{
    pid_t pid = 0;
    {
        auto editor = LaunchedApp::start(testEditorPath(), {});
        ASSERT_TRUE(editor);
        ASSERT_TRUE(editor->waitForAccessible());
        pid = editor->pid();
        editor->stop();
    }
    EXPECT_NE(kill(pid, 0), 0) << "the process is still there";
    EXPECT_TRUE(waitUntil([&] { return !registeredOnAccessibilityBus(pid); }, 5s));
}
