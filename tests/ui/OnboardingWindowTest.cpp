#include "base/Notifier.h"
#include "core/CandidatePanel.h"
#include "core/Coordinator.h"
#include "core/LanguageModels.h"
#include "support/FakePlatform.h"
#include "ui/AboutWindow.h"
#include "ui/OnboardingWindow.h"
#include "ui/QtOwnWindows.h"

#include "TestSupport.h"
#include "UiTestSupport.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using UiTestSupport::spinUntil;

namespace {

constexpr quint16 kDigit1 = 18;

struct OnboardingFixture : ::testing::Test {
    std::shared_ptr<FakePlatform> fake = FakePlatform::install();
    std::shared_ptr<MemoryDefaultsStore> defaults = TestSupport::freshDefaults();

    OnboardingFixture() { fake->accessibility->trusted = false; }
    bool done() { return defaults->boolean(OnboardingWindow::doneKey); }
};

} // namespace

TEST_F(OnboardingFixture, StepMarksFollowTheTrustAsItIsPolled)
{
    OnboardingWindow window;
    window.showIfNeeded();
    ASSERT_TRUE(window.isVisible()) << "no permission: shown at start";
    EXPECT_FALSE(window.practiceStep()->testAttribute(Qt::WA_TransparentForMouseEvents))
        << "the practice works without the switch";
    EXPECT_NE(window.practiceField()->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(window.footerButton()->text(), QStringLiteral("닫기"));

    window.permissionButton()->click();
    EXPECT_EQ(fake->accessibility->promptCount, 1) << "the button asks with the prompt";

    fake->accessibility->trusted = true;
    ASSERT_TRUE(spinUntil([&] { return window.trusted(); })) << "granted while open: noticed at the next poll";
    EXPECT_FALSE(window.permissionButton()->isVisible());

    const qsizetype pending = fake->clock->pendingCount();
    window.present();
    EXPECT_TRUE(window.isWatching());
    EXPECT_EQ(fake->clock->pendingCount(), pending) << "a second present keeps one poll";
    window.close();
    EXPECT_FALSE(window.isWatching());
    EXPECT_TRUE(done()) << "closed with the permission held: the first run is done";

    OnboardingWindow again;
    again.showIfNeeded();
    EXPECT_FALSE(again.isVisible()) << "permission and first run done: not shown at start";
}

TEST_F(OnboardingFixture, ClosingWithoutThePermissionLeavesTheFirstRunOpen)
{
    defaults->setValue(OnboardingWindow::doneKey, true);
    OnboardingWindow shownAnyway;
    shownAnyway.showIfNeeded();
    EXPECT_TRUE(shownAnyway.isVisible()) << "no permission: shown even after the first run";
    defaults->remove(OnboardingWindow::doneKey);

    OnboardingWindow window;
    window.present();
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_FALSE(window.isVisible()) << "Escape answers the footer's 닫기";
    EXPECT_FALSE(done());
}

TEST_F(OnboardingFixture, APracticeReplacementRunsTheRealSessionInOurOwnTextView)
{
    TestSupport::DataDir data;
    data.write("hanja.tsv", "수도\t首都\n수도\t水道\n수\t首\t머리 수\n도\t都\t도읍 도\n");
    data.write("hanja_freq.tsv", "수도\t首都\t100\n");
    HanjaDictionary dictionary(data.path());
    Coordinator& coordinator = Coordinator::shared();
    coordinator.dictionary = &dictionary;
    LanguageModels::setShared(nullptr);
    fake->platform->ownWindows = std::make_shared<QtOwnWindows>();
    fake->accessibility->trusted = true;
    fake->workspace->activate(fake->workspace->ownPid());

    OnboardingWindow window;
    window.present();
    QApplication::setActiveWindow(&window);
    QPlainTextEdit* field = window.practiceField();
    field->setFocus();
    ASSERT_TRUE(spinUntil([&] { return QApplication::focusWidget() == field; }));
    QTextCursor cursor = field->textCursor();
    cursor.setPosition(6);
    cursor.setPosition(8, QTextCursor::KeepAnchor); // 수도
    field->setTextCursor(cursor);

    coordinator.trigger();
    CandidatePanel& panel = CandidatePanel::shared();
    ASSERT_TRUE(spinUntil([&] { return panel.isVisible() && panel.model().interactive(); }));
    EXPECT_EQ(panel.model().items().first().primary, QStringLiteral("首都"));
    fake->panelWindow->pressKey(kDigit1);

    ASSERT_TRUE(spinUntil([&] { return window.practiced(); }));
    EXPECT_EQ(field->toPlainText(), QStringLiteral("대한민국의 수도(首都)는 서울이다."));
    EXPECT_TRUE(done());
    EXPECT_EQ(window.footerButton()->text(), QStringLiteral("시작하기"));
    QTest::keyClick(&window, Qt::Key_Escape);
    EXPECT_TRUE(window.isVisible()) << "once practised, Escape no longer answers the footer";
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_FALSE(window.isVisible()) << "Return in the field answers the footer's 시작하기";
    EXPECT_EQ(field->blockCount(), 1);
    spinUntil([&] { return !coordinator.busy; });
    coordinator.dictionary = &HanjaDictionary::shared();
}

TEST(AboutWindow, creditsAreFormattedByTheThreeLineRules)
{
    const QString html = AboutWindow::creditsHtml(
        QStringLiteral("## libhangul\n\nCopyright <c> 2005\nhttps://github.com/libhangul/libhangul\nhttps://exa mple\n"));
    EXPECT_TRUE(html.contains(QStringLiteral("font-weight:600\">libhangul</p>"))) << "a heading shows the name alone";
    EXPECT_TRUE(html.contains(QStringLiteral("<a href=\"https://github.com/libhangul/libhangul\">")));
    EXPECT_TRUE(html.contains(QStringLiteral("Copyright &lt;c&gt; 2005")));
    EXPECT_FALSE(html.contains(QStringLiteral("href=\"https://exa mple\""))) << "not a valid address: body text";
    EXPECT_EQ(html.count(QStringLiteral("<p ")), 4) << "blank lines leave no paragraph";
}
