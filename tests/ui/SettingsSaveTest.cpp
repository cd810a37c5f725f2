#include "base/Defaults.h"
#include "base/JsonDefaultsStore.h"
#include "core/EnumKeys.h"
#include "core/PickHistory.h"
#include "core/ShortcutCenter.h"
#include "core/WritingSettings.h"
#include "support/FakePlatform.h"
#include "ui/FormatOption.h"
#include "ui/MeaningOption.h"
#include "ui/SaveFailureNotice.h"
#include "ui/SettingsWindow.h"
#include "ui/TrayMenu.h"

#include "TestSupport.h"
#include "UiTestSupport.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

// What the user sees when the settings file cannot be written, and when it changed behind our back.

namespace {

struct SettingsFile : ::testing::Test {
    std::shared_ptr<FakePlatform> fake = FakePlatform::install();
    QTemporaryDir dir;
    QString path = dir.filePath("defaults.json");

    SettingsFile() { ShortcutCenter::shared().activate([] {}); }
    ~SettingsFile() override { TestSupport::freshDefaults(); }

    void install(const QByteArray& content)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
        f.close();
        Defaults::setShared(std::make_shared<JsonDefaultsStore>(path));
    }
    // Without write permission the store refuses the file, for root as well.
    void setReadOnly(bool readOnly)
    {
        QFile::setPermissions(path, readOnly ? QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther
                                             : QFile::ReadOwner | QFile::WriteOwner);
    }
};

int boxesShown()
{
    int shown = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) shown += qobject_cast<QMessageBox*>(w) && w->isVisible();
    return shown;
}

using UiTestSupport::formatChecks;

} // namespace

TEST_F(SettingsFile, ChangesThatCannotBeSavedStayAndAreToldOnce)
{
    install(R"({"pickHistory": {"수도\t首都": [2, 100]}})");
    setReadOnly(true);
    SaveFailureNotice notice;
    SettingsWindow window;
    window.present();
    const QList<FormatOption*> formats = window.formatOptions();
    const QList<MeaningOption*> meanings = window.meaningOptions();
    ASSERT_EQ(formats.size(), 3);
    ASSERT_EQ(meanings.size(), 3);

    QTest::mouseClick(formats[2], Qt::LeftButton);
    ASSERT_TRUE(UiTestSupport::spinUntil([&] { return notice.box() && notice.box()->isVisible(); }));
    EXPECT_EQ(notice.box()->text(), QStringLiteral("설정 파일에 저장하지 못했습니다."));
    notice.box()->close();

    // Later failures, from the window, the tray or a pick, only go to the log.
    QTest::mouseClick(meanings[0], Qt::LeftButton);
    TrayMenu tray(RankEngine::frequency);
    tray.formatMenu()->actions()[1]->trigger();
    EXPECT_FALSE(PickHistory::shared().record(QStringLiteral("학교"), QStringLiteral("學校"), QDateTime::currentDateTimeUtc()));
    QCoreApplication::processEvents();
    EXPECT_EQ(boxesShown(), 0);

    // Each change is in force, the earlier ones too.
    EXPECT_EQ(WritingSettings::format(), ReplacementFormat::Format::hanjaParenHangul);
    EXPECT_TRUE(formats[1]->isSelected());
    EXPECT_EQ(formatChecks(tray), QList<bool>({false, true, false}));
    EXPECT_EQ(WritingSettings::meaningStyle(), MeaningLine::Style::none);
    EXPECT_TRUE(meanings[0]->isSelected());
    EXPECT_EQ(window.historyText(), QStringLiteral("고른 한자 2개를 기억해 앞에 둡니다. 이 컴퓨터에만 저장됩니다."));

    // A clear that could not be saved is not shown as done.
    window.clearButton()->click();
    EXPECT_EQ(window.historyText(), QStringLiteral("고른 한자 2개를 기억해 앞에 둡니다. 이 컴퓨터에만 저장됩니다."));
    EXPECT_TRUE(window.clearButton()->isEnabled());
    EXPECT_EQ(window.historyProblem(), QStringLiteral("기록 지우기 — 설정 파일에 저장하지 못했습니다."));

    // Once the file can be written, the next change saves everything, and a clear is a clear.
    setReadOnly(false);
    window.clearButton()->click();
    EXPECT_TRUE(window.historyProblem().isEmpty());
    EXPECT_FALSE(window.clearButton()->isEnabled());
    EXPECT_EQ(JsonDefaultsStore(path).string(WritingSettings::formatKey), QStringLiteral("hanjaParenHangul"));
    EXPECT_EQ(JsonDefaultsStore(path).string(WritingSettings::meaningStyleKey), QStringLiteral("none"));
    EXPECT_FALSE(JsonDefaultsStore(path).contains(QStringLiteral("pickHistory")));
}

// The file may be edited by hand, or changed by another Sorelwick process: no notification says so.
TEST_F(SettingsFile, TrayChecksAreReadAgainWhenTheMenuOpens)
{
    install(R"({"format": "hanjaOnly"})");
    TrayMenu tray(RankEngine::frequency);
    EXPECT_EQ(formatChecks(tray), QList<bool>({false, false, true}));
    ASSERT_TRUE(JsonDefaultsStore(path).setValue(WritingSettings::formatKey, QStringLiteral("hanjaParenHangul")));

    tray.menu()->popup(QPoint(0, 0));
    EXPECT_EQ(formatChecks(tray), QList<bool>({false, true, false}));
    tray.menu()->hide();

    ASSERT_TRUE(JsonDefaultsStore(path).remove(WritingSettings::formatKey));
    tray.formatMenu()->popup(QPoint(0, 0));
    EXPECT_EQ(formatChecks(tray), QList<bool>({true, false, false}));
    tray.formatMenu()->hide();
}
