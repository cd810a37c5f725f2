// The user's clipboard around a session: a pick written by pasting (what the user is told when
// nobody takes the paste, presses that overlap the paste) and a copy chord answered late.
#include "base/TextUtil.h"
#include "core/TextReplacer.h"

#include "SessionFixture.h"

namespace {

struct SessionClipboard : SessionFixture {
    SessionClipboard()
    {
        data.write("hanja.tsv", "수도\t首都\n");
        reloadDictionary();
    }
    ~SessionClipboard() override
    {
        spinUntil([this] { return !coordinator.busy; });
        settle(8000);
    }
    QString noticeFor(const QString& spelling) { return Coordinator::unpastedNotice + TextUtil::displayCut(spelling); }
};

} // namespace

// A native Wayland window with no editable text: no key can paste there, so none is sent, and the
// user is told at once that the spelling waits on the clipboard.
TEST_F(SessionClipboard, WhereKeysCannotReachTheSpellingGoesOnTheClipboardAtOnce)
{
    auto editor = clipboardOnlyEditor("대한민국의 수도는 서울", {6, 2});
    editor->hasAccessibleFocus = true;
    fake->writeFaults(*editor).refused[Accessibility::selectedTextAttribute] = AXError::attributeUnsupported;
    fake->keysNeverReach(*editor);
    ASSERT_TRUE(pressShowsList());
    fake->keyPoster->clearPosted();
    const qint64 picked = fake->clock->monotonicMs();
    fake->panelWindow->pressKey(kDigit1);
    ASSERT_TRUE(spinUntil([&] { return noticeShown(noticeFor("수도(首都)")); }));
    EXPECT_LT(fake->clock->monotonicMs() - picked, TextReplacer::pasteSettleMs);
    EXPECT_TRUE(fake->keyPoster->posted().isEmpty());
    EXPECT_EQ(fake->pasteboard->text(), "수도(首都)");
    EXPECT_EQ(editor->text, "대한민국의 수도는 서울");
}

// An application that takes its time is no failure: one that asks within the wait is done, and one
// that asks only after the notice came withdraws it and still gets the user's clipboard back. (One
// that never asks, a read-only view, leaves the spelling on the clipboard: the e2e tier.)
TEST_F(SessionClipboard, ALatePasteIsNoFailure)
{
    auto editor = clipboardOnlyEditor("수도", {0, 2});
    for (const qint64 delay : {qint64(1500), qint64(TextReplacer::pasteDeadlineMs + 500)}) {
        SCOPED_TRACE(delay);
        editor->text = "수도";
        editor->selection = {0, 2};
        editor->pasteDelayMs = delay;
        const int before = replacedPosts;
        ASSERT_TRUE(pressShowsList());
        const qint64 picked = fake->clock->monotonicMs();
        fake->panelWindow->pressKey(kDigit1);
        if (delay > TextReplacer::pasteDeadlineMs) {
            ASSERT_TRUE(spinUntil([&] { return noticeShown(noticeFor("수도(首都)")); }));
            EXPECT_GE(fake->clock->monotonicMs() - picked, TextReplacer::pasteDeadlineMs) << "told only once the wait is over";
        }
        settle(6000);
        EXPECT_EQ(editor->text, "수도(首都)");
        EXPECT_EQ(replacedPosts, before + 1);
        EXPECT_FALSE(panel.isVisible());
        EXPECT_EQ(fake->pasteboard->text(), kUserClipboard);
    }
}

// The shortcut pressed again while the pick's paste still holds the clipboard.
TEST_F(SessionClipboard, ASecondPressDuringThePasteKeepsTheUsersClipboard)
{
    // The next word selected 250 ms after the pick, while the paste is being read.
    auto editor = clipboardOnlyEditor("수도 수도", {0, 2});
    ASSERT_TRUE(pressShowsList());
    fake->clock->afterMs(250, [&] {
        editor->selection = {editor->text.size() - 2, 2};
        coordinator.trigger();
    });
    fake->panelWindow->pressKey(kDigit1);
    ASSERT_TRUE(spinUntil([&] { return listShown(); }));
    fake->panelWindow->pressKey(kDigit1);
    settle(5000);
    EXPECT_EQ(editor->text, "수도(首都) 수도(首都)");
    EXPECT_EQ(fake->pasteboard->text(), kUserClipboard);
    EXPECT_EQ(replacedPosts, 2);

    // Pressed at once, before the paste is even posted: the pick is written all the same.
    editor = clipboardOnlyEditor("수도 수도", {0, 2});
    ASSERT_TRUE(pressShowsList());
    fake->clock->afterMs(20, [&] { coordinator.trigger(); });
    fake->panelWindow->pressKey(kDigit1);
    settle(5000);
    EXPECT_EQ(editor->text, "수도(首都) 수도");
    EXPECT_EQ(fake->pasteboard->text(), kUserClipboard);
    EXPECT_EQ(replacedPosts, 3);
}

// After a press that found nothing selected, the application's late answer to the copy chord is
// undone while the notice is up; once the user typed or clicked through it, a copy is their own.
TEST_F(SessionClipboard, AfterANoSelectionNoticeOnlyTheLateAnswerIsUndone)
{
    auto editor = clipboardOnlyEditor("대한민국의 수도는 서울", {6, 2});
    fake->copiesAfter(*editor, 700); // after the capture gave up
    coordinator.trigger();
    ASSERT_TRUE(spinUntil([&] { return noticeShown(Coordinator::noSelectionNotice); }));
    settle(3000);
    EXPECT_EQ(fake->pasteboard->text(), kUserClipboard);

    editor->selection = {3, 0}; // a caret: the copy chord copies nothing
    coordinator.trigger();
    ASSERT_TRUE(spinUntil([&] { return noticeShown(Coordinator::noSelectionNotice); }));
    fake->clock->afterMs(300, [&] {
        // Shift+Right over the notice, then the user's own Ctrl+C.
        fake->panelWindow->pressKey(KeyCode::rightArrow, ModifierFlag::shift);
        editor->selection = {6, 2};
        editor->copySelection(*fake->pasteboard);
    });
    settle(3000);
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(fake->pasteboard->text(), "수도");
}
