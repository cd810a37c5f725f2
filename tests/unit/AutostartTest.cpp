#include "app/Autostart.h"

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class AutostartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_saved = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    }
    void TearDown() override { qputenv("XDG_CONFIG_HOME", m_saved); }

    QTemporaryDir config;

private:
    QByteArray m_saved;
};

TEST(AutostartExec, PathsAreQuotedAsDesktopEntriesWant)
{
    struct Case {
        const char* path;
        const char* exec;
    } cases[] = {
        {"/usr/bin/sorelwick", "/usr/bin/sorelwick"},
        {"/home/u/my apps/sorelwick", "\"/home/u/my apps/sorelwick\""},
        {"/opt/100%/sorelwick", "/opt/100%%/sorelwick"},
        {"/opt/a $b/s", "\"/opt/a \\\\$b/s\""},
        {"/opt/\"q\"/s", "\"/opt/\\\\\"q\\\\\"/s\""},
        {"/opt/back\\slash/s", "\"/opt/back\\\\\\\\slash/s\""},
        {"/opt/50% off/s", "\"/opt/50%% off/s\""},
        {"/opt/소렐/sorelwick", "/opt/소렐/sorelwick"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Autostart::execValue(QString::fromUtf8(c.path)).toStdString(), c.exec) << c.path;
}

TEST_F(AutostartTest, EnableWritesTheEntryAndDisableRemovesIt)
{
    const QString path = config.filePath(QStringLiteral("autostart/sorelwick.desktop"));
    EXPECT_FALSE(Autostart::isEnabled());
    EXPECT_EQ(Autostart::disable(), std::nullopt); // nothing to remove is no failure

    EXPECT_EQ(Autostart::enable(QStringLiteral("/usr/bin/sorelwick")), std::nullopt);
    EXPECT_TRUE(Autostart::isEnabled());
    const QString text = QString::fromUtf8(TestSupport::readFile(path));
    EXPECT_TRUE(text.startsWith(QStringLiteral("[Desktop Entry]\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\nExec=/usr/bin/sorelwick\n")));

    // Enabling again rewrites, e.g. after the program moved.
    EXPECT_EQ(Autostart::enable(QStringLiteral("/opt/sorelwick/bin/sorelwick")), std::nullopt);
    EXPECT_TRUE(TestSupport::readFile(path).contains("\nExec=/opt/sorelwick/bin/sorelwick\n"));

    EXPECT_EQ(Autostart::disable(), std::nullopt);
    EXPECT_FALSE(Autostart::isEnabled());
    EXPECT_FALSE(QFile::exists(path));
}

TEST_F(AutostartTest, AFailureIsReportedAndTouchesNothing)
{
    // The autostart folder's place is taken by a file: nothing can be written there.
    const QString blocker = config.filePath(QStringLiteral("autostart"));
    ASSERT_TRUE(TestSupport::writeFile(blocker, "mine"));
    const auto message = Autostart::enable(QStringLiteral("/usr/bin/sorelwick"));
    ASSERT_TRUE(message.has_value());
    EXPECT_TRUE(message->contains(QStringLiteral("autostart")));
    EXPECT_FALSE(Autostart::isEnabled());
    EXPECT_EQ(TestSupport::readFile(blocker), "mine");
}

TEST_F(AutostartTest, TheFolderComesFromXdgConfigHomeOrTheHome)
{
    qputenv("XDG_CONFIG_HOME", "relative/dir");
    EXPECT_EQ(Autostart::filePath(), QDir::homePath() + QStringLiteral("/.config/autostart/sorelwick.desktop"));
    qunsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(Autostart::filePath(), QDir::homePath() + QStringLiteral("/.config/autostart/sorelwick.desktop"));
}

} // namespace
