#include "core/CandidatePanel.h"
#include "core/Shortcut.h"
#include "core/ShortcutCenter.h"
#include "support/FakePlatform.h"

#include <gtest/gtest.h>

namespace {

constexpr quint16 kDigit[10] = {0, 18, 19, 20, 21, 23, 22, 26, 28, 25};
constexpr quint16 kReturn = 36, kKeypadEnter = 76, kEscape = 53, kRight = 124, kLetterA = 0, kDigit0 = 29;

QList<Candidate> rows(int n)
{
    QList<Candidate> out;
    for (int i = 1; i <= n; ++i) {
        Candidate c;
        c.primary = QStringLiteral("후보%1").arg(i);
        c.replacement = c.primary;
        out.append(c);
    }
    return out;
}

struct PanelFixture : ::testing::Test {
    std::shared_ptr<FakePlatform> fake = FakePlatform::install();
    // The application in front, which keys the panel does not take go on to.
    std::shared_ptr<MemoryApplication> editor = fake->openEditor("본문", {0, 0});
    CandidatePanel panel;
    QList<QPair<QString, bool>> picks;

    void showList(int n, bool newSession = true)
    {
        if (newSession) panel.session += 1;
        panel.show(rows(n), "머리", PanelAnchor::mouse(), panel.session, [this](const Candidate& row, bool option) {
            picks.append({row.primary, option});
        });
    }
    std::optional<bool> press(quint16 key, quint64 flags = 0) { return fake->panelWindow->pressKey(key, flags); }
};

} // namespace

// Each key in the list state: whether the panel takes it (a key it does not take is handed on to
// the application, once), whether it stays up, expanded or not, and which row is picked, with Alt.
TEST_F(PanelFixture, KeysInTheListState)
{
    constexpr quint16 kKeypad1 = 83;
    using namespace ModifierFlag;
    const struct {
        int rows;
        quint16 key;
        quint64 flags;
        bool taken, visible, expanded;
        int picked; // 0: none
        bool option;
    } cases[] = {
        {5, kDigit[4], 0, true, true, true, 0, false}, // past the shown rows: expands
        {5, kRight, 0, true, true, true, 0, false},
        {3, kRight, 0, true, true, false, 0, false},    // fewer than 4 rows never expand
        {2, kDigit[5], 0, true, true, false, 0, false}, // past every row
        {2, kDigit[1], option, true, false, false, 1, true},
        {3, kDigit[2], 0, true, false, false, 2, false},
        {3, kReturn, shift, true, false, false, 1, false}, // Shift does not change a pick
        {3, kKeypadEnter, option, true, false, false, 1, true},
        {3, kEscape, 0, true, false, false, 0, false},
        {3, kDigit[2], command, false, false, false, 0, false}, // Super+2 goes on to the application
        {3, kDigit[2], control, false, false, false, 0, false},
        {3, kLetterA, shift, false, false, false, 0, false},
        {3, quint16(KeyCode::h), shift, false, false, false, 0, false}, // the shortcut's key without Ctrl+Alt
        {3, kKeypad1, 0, false, false, false, 0, false},
        {3, kDigit0, 0, false, false, false, 0, false},
        {3, 126, 0, false, false, false, 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rows << " rows, key " << c.key << ", flags " << c.flags);
        picks.clear();
        editor->keysReceived.clear();
        showList(c.rows);
        EXPECT_EQ(press(c.key, c.flags), c.taken);
        EXPECT_EQ(panel.isVisible(), c.visible);
        if (c.visible) {
            EXPECT_EQ(panel.model().expanded(), c.expanded);
        }
        QList<QPair<QString, bool>> picked;
        if (c.picked) picked.append({QStringLiteral("후보%1").arg(c.picked), c.option});
        EXPECT_EQ(picks, picked);
        QList<QPair<quint16, quint64>> passed;
        if (!c.taken) passed.append({c.key, c.flags});
        EXPECT_EQ(editor->keysReceived, passed);
    }
}

// Keys typed before the rows arrive: the list's keys act on the rows once they come, in order;
// any other key goes on to the application at once.
TEST_F(PanelFixture, KeysTypedWhileLoadingAreNeverLost)
{
    panel.showLoading("불러오는 중", PanelAnchor::mouse(), ++panel.session);
    EXPECT_EQ(press(kRight), true);
    EXPECT_EQ(press(kDigit[5]), true);
    EXPECT_TRUE(panel.isVisible());
    EXPECT_TRUE(picks.isEmpty());
    showList(5, false);
    ASSERT_EQ(picks.size(), 1);
    EXPECT_EQ(picks[0].first, "후보5") << "the arrow expanded the list before the digit picked";

    panel.showLoading("불러오는 중", PanelAnchor::mouse(), ++panel.session);
    EXPECT_EQ(press(kDigit[1]), true);
    panel.showNotice("알림", PanelAnchor::mouse(), panel.session);
    panel.showLoading("불러오는 중", PanelAnchor::mouse(), ++panel.session);
    EXPECT_EQ(press(kLetterA, ModifierFlag::shift), false);
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(editor->keysReceived, (QList<QPair<quint16, quint64>>{{kLetterA, ModifierFlag::shift}}));
    showList(3, false);
    EXPECT_EQ(picks.size(), 1) << "a key waiting for a notice's rows, or a closed panel's, picks nothing";
}

TEST_F(PanelFixture, TypingOverANoticeReachesTheApplicationOnce)
{
    panel.showNotice("알림", PanelAnchor::mouse(), panel.session);
    EXPECT_EQ(press(kLetterA, ModifierFlag::shift), true);
    EXPECT_FALSE(panel.isVisible());
    const QList<QPair<quint16, quint64>> typed{{kLetterA, ModifierFlag::shift}};
    EXPECT_EQ(editor->keysReceived, typed);

    panel.showNotice("알림", PanelAnchor::mouse(), panel.session);
    EXPECT_EQ(press(kReturn), true);
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(editor->keysReceived, typed) << "pick keys only close a notice";
}

// The panel holds the keyboard; what it hands on goes to the application in front, never to a
// new session or to Sorelwick itself. Another application in front closes it (a click outside
// too: the ui tier's window test, on the real window).
TEST_F(PanelFixture, KeysHandedOnReachOnlyTheApplicationAndAnotherInFrontCloses)
{
    // A second press of the shortcut only closes the list: passed on, it would open a new one.
    const Shortcut shortcut = ShortcutCenter::shared().current();
    showList(3);
    EXPECT_EQ(press(quint16(shortcut.keyCode), shortcut.modifiers), false);
    EXPECT_FALSE(panel.isVisible());
    // Nor does a key go to Sorelwick itself when one of its own windows is in front.
    showList(3);
    fake->workspace->activate(fake->workspace->ownPid());
    EXPECT_TRUE(panel.isVisible()) << "our own activation keeps the panel";
    EXPECT_EQ(press(kLetterA), false);
    EXPECT_TRUE(fake->keyPoster->posted().isEmpty());

    showList(3);
    fake->workspace->activate(fake->workspace->addApplication(777, QStringLiteral("org.example.Other"))->pid());
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(fake->workspace->observerCount(), 0);
    EXPECT_FALSE(fake->panelWindow->hasKeyMonitor());
}

TEST_F(PanelFixture, NoticeTimesOutButNotOverANewerShowing)
{
    panel.showNotice("알림", PanelAnchor::mouse(), panel.session);
    fake->clock->setAutoAdvance(false);
    fake->clock->advance(1799);
    EXPECT_TRUE(panel.isVisible());
    fake->clock->advance(1);
    EXPECT_FALSE(panel.isVisible());

    // A new session replaces the notice just before its time-out would fire.
    panel.showNotice("알림", PanelAnchor::mouse(), panel.session);
    fake->clock->advance(1000);
    showList(3);
    fake->clock->advance(5000);
    EXPECT_TRUE(panel.isVisible()) << "the old time-out must not close the new list";
    EXPECT_EQ(panel.model().items().size(), 3);
}

TEST_F(PanelFixture, StaleTokensShowNothingAndPicksRunAfterDismissal)
{
    const qint64 old = ++panel.session;
    panel.dismiss();
    panel.show(rows(2), "늦은 결과", PanelAnchor::mouse(), old, nullptr);
    panel.showLoading("늦은 결과", PanelAnchor::mouse(), old);
    panel.showNotice("늦은 결과", PanelAnchor::mouse(), old);
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(fake->panelWindow->orderFrontCount(), 0);

    panel.session += 1;
    const qint64 token = panel.session;
    bool hiddenAtPick = false;
    qint64 sessionAtPick = 0;
    panel.show(rows(2), "목록", PanelAnchor::mouse(), token, [&](const Candidate&, bool) {
        hiddenAtPick = !panel.isVisible();
        sessionAtPick = panel.session;
    });
    ASSERT_TRUE(panel.isVisible());
    press(kDigit[2]);
    EXPECT_TRUE(hiddenAtPick);
    EXPECT_EQ(sessionAtPick, token + 1);
}

TEST_F(PanelFixture, EachDigitKeyPicksItsOwnRowInAnExpandedList)
{
    // The key that the keyboard labels n picks row n; the labels come from the shortcut's own
    // table of key positions, not from the panel's.
    for (int n = 1; n <= 9; ++n) {
        quint16 key = 0;
        while (key < 128 && Shortcut::keyName(key) != QString::number(n)) ++key;
        ASSERT_LT(key, 128) << n;
        showList(9);
        press(kRight);
        ASSERT_TRUE(panel.model().expanded());
        EXPECT_EQ(press(key), true);
        ASSERT_FALSE(picks.isEmpty()) << n;
        EXPECT_EQ(picks.last().first, QStringLiteral("후보%1").arg(n));
    }
}
