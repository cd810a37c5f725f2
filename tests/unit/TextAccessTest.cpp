#include "core/KeySim.h"
#include "core/TextCapture.h"
#include "core/TextReplacer.h"
#include "support/FakePlatform.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

class TextAccess : public ::testing::Test {
protected:
    void SetUp() override
    {
        TestSupport::freshDefaults();
        fake = FakePlatform::install();
    }

    std::optional<Capture> capture() { return QCoro::waitFor(TextCapture::capture()); }
    bool replace(const Capture& cap, const QString& text) { return QCoro::waitFor(TextReplacer::replace(cap, text)); }

    // A clipboard as users leave it: a rich-text item and an image item.
    QList<PasteboardItem> userClipboard() const
    {
        return {PasteboardItem{{u"text/html"_s, "<b>rich</b>"}, {Pasteboard::stringType, "rich"}},
                PasteboardItem{{u"image/png"_s, QByteArray("\x89PNG\0\1", 6)}, {u"text/uri-list"_s, "file:///a.png"}}};
    }

    // An editor holding 수도, selected, that accessibility cannot read (so ⌘C has to do), over the
    // user's clipboard.
    std::shared_ptr<MemoryApplication> clipboardOnlyEditor()
    {
        auto app = fake->openEditor(u"수도"_s, {0, 2});
        app->hasAccessibleFocus = false;
        fake->pasteboard->writeFromOtherProgram(userClipboard());
        return app;
    }

    // Whether the only keys posted are one chord, pressed then released.
    testing::AssertionResult postedOnly(KeyChord chord) const
    {
        const auto& p = fake->keyPoster->posted();
        const auto is = [&](qsizetype i, bool down) {
            return p[i].keyDown == down && KeyChord{p[i].keyCode, p[i].flags} == chord;
        };
        if (p.size() == 2 && is(0, true) && is(1, false)) return testing::AssertionSuccess();
        return testing::AssertionFailure() << p.size() << " key events, the first " << (p.isEmpty() ? -1 : p[0].keyCode);
    }

    std::shared_ptr<FakePlatform> fake;
};

} // namespace

TEST_F(TextAccess, accessibilityCaptureReadsSelectionContextAndBoundsClippedAndChecked)
{
    auto app = fake->openEditor(u"대한민국의 수도는 서울이다"_s, {6, 3});
    auto cap = capture();
    ASSERT_TRUE(cap);
    EXPECT_EQ(cap->selected, u"수도는"_s);
    EXPECT_EQ(cap->context, u"대한민국의 수도는 서울이다"_s);
    EXPECT_TRUE(cap->viaAccessibility);
    EXPECT_EQ(cap->selectionBounds, QRectF(160, 200, 30, 20));
    EXPECT_EQ(cap->pid, 501);
    EXPECT_TRUE(fake->keyPoster->posted().isEmpty());

    // Without a range: no context window and no bounds.
    app->readOverrides[Accessibility::selectedTextRangeAttribute] = {AXError::noValue, {}};
    cap = capture();
    ASSERT_TRUE(cap);
    EXPECT_EQ(cap->context, u"수도는"_s);
    EXPECT_FALSE(cap->selectionBounds);

    // The context window is clipped at the text's ends.
    const QString longText = QString(400, u'가');
    app = fake->openEditor(longText, {0, 2});
    EXPECT_EQ(capture().value().context.size(), 152); // nothing before the start
    app->selection = {390, 10};
    EXPECT_EQ(capture().value().context.size(), 160); // nothing after the end
    app->selection = {200, 5};
    EXPECT_EQ(capture().value().context, longText.mid(50, 305));

    // An empty rectangle means unknown; a line of zero width still places the panel.
    app->boundsForRange = [](TextRange) { return std::optional<QRectF>(QRectF(10, 10, 0, 0)); };
    EXPECT_FALSE(capture().value().selectionBounds);
    app->boundsForRange = [](TextRange) { return std::optional<QRectF>(QRectF(10, 10, 0, 18)); };
    EXPECT_EQ(capture().value().selectionBounds, QRectF(10, 10, 0, 18));
    // A value of the wrong kind is a failed read.
    app->readOverrides[Accessibility::boundsForRangeParameterizedAttribute] = {AXError::success, u"wide"_s};
    EXPECT_FALSE(capture().value().selectionBounds);
    // Without a whole value, context is the selected text.
    app->readOverrides[Accessibility::valueAttribute] = {AXError::success, TextRange{0, 1}};
    EXPECT_EQ(capture().value().context, longText.mid(200, 5));
}

TEST_F(TextAccess, blankOrUnreadableSelectionFallsBackToCommandC)
{
    auto app = fake->openEditor(u"앞 수도 뒤"_s, {2, 2});
    fake->pasteboard->writeFromOtherProgram(userClipboard());
    app->readOverrides[Accessibility::selectedTextAttribute] = {AXError::success, u" \n"_s};
    auto cap = capture();
    ASSERT_TRUE(cap);
    EXPECT_EQ(cap->selected, u"수도"_s);
    EXPECT_EQ(cap->context, u"수도"_s);
    EXPECT_FALSE(cap->viaAccessibility);
    // Exactly one Ctrl+C (an editor's copy chord), and the user's clipboard is back.
    EXPECT_TRUE(postedOnly({KeyCode::c, ModifierFlag::control}));
    EXPECT_EQ(fake->pasteboard->items(), userClipboard());

    // A wrong type reads as a failure too.
    app->readOverrides[Accessibility::selectedTextAttribute] = {AXError::success, TextRange{2, 2}};
    EXPECT_EQ(capture().value().viaAccessibility, false);
    // Forced by the debug setting, a readable one is copied too: the session's password case.
}

TEST_F(TextAccess, copyThatChangesNothingGivesUpAfterTwentyPolls)
{
    auto app = clipboardOnlyEditor();
    app->copiesOnCopyChord = false;
    const qint64 count = fake->pasteboard->changeCount();
    const qint64 start = fake->clock->monotonicMs();
    EXPECT_FALSE(capture());
    EXPECT_EQ(fake->clock->monotonicMs() - start, 500);
    EXPECT_EQ(fake->pasteboard->changeCount(), count); // untouched, not even restored

    // No frontmost application: nothing at all.
    fake->workspace->clearFrontmost();
    EXPECT_FALSE(capture());
}

// A clipboard too large to be saved (or whose owner stopped answering) would be replaced for good
// by the copy: no copy is sent, and the press says why.
TEST_F(TextAccess, aClipboardThatCannotBeSavedIsNotCopiedOver)
{
    clipboardOnlyEditor();
    for (const QString& type : {u"image/png"_s, u"text/html"_s}) {
        fake->faultyPasteboard->untakeableTypes = {type};
        QString why;
        EXPECT_FALSE(QCoro::waitFor(TextCapture::capture(true, &why))) << type.toStdString();
        EXPECT_EQ(why, TextCapture::clipboardUnsavedNotice);
        EXPECT_TRUE(fake->keyPoster->posted().isEmpty()) << "no copy chord";
    }
    // A type the owner only refuses has nothing to lose: the rest comes back.
    fake->faultyPasteboard->untakeableTypes.clear();
    fake->faultyPasteboard->unreadableTypes = {u"image/png"_s};
    QString why;
    EXPECT_TRUE(QCoro::waitFor(TextCapture::capture(true, &why)));
    EXPECT_TRUE(why.isEmpty());
    EXPECT_EQ(fake->pasteboard->items(), (QList<PasteboardItem>{userClipboard()[0], {{u"text/uri-list"_s, "file:///a.png"}}}));
}

// Slow applications (Chromium without accessibility, an office suite under load) answer the copy
// chord after the capture gave up: the user's clipboard must not end up holding the selection.
TEST_F(TextAccess, lateCopyIsUndoneUnlessAnotherProgramCopiedMeanwhile)
{
    auto app = clipboardOnlyEditor();
    fake->copiesAfter(*app, 600);
    EXPECT_FALSE(capture());
    fake->clock->advance(TextCapture::lateCopyGraceMs);
    EXPECT_EQ(fake->pasteboard->items(), userClipboard());

    // The application never copies; the user copies elsewhere a second later: that stays.
    app->copiesOnCopyChord = false;
    EXPECT_FALSE(capture());
    fake->clock->afterMs(1000, [this] {
        fake->pasteboard->writeStringFromOtherProgram(u"newer"_s);
        fake->pasteboard->owner = 777;
    });
    fake->clock->advance(TextCapture::lateCopyGraceMs);
    EXPECT_EQ(fake->pasteboard->text(), u"newer"_s);
}

// The onboarding's practice (a ui test) reads and writes our own text view through a whole session.
TEST_F(TextAccess, ownWindowIsReadDirectlyOrNotAtAll)
{
    fake->openEditor(u"다른 앱"_s, {0, 2});
    fake->workspace->activate(fake->workspace->ownPid());
    // No text view has the focus: absent, and no other strategy is tried.
    EXPECT_FALSE(capture());
    EXPECT_TRUE(fake->keyPoster->posted().isEmpty());

    auto view = std::make_shared<MemoryTextView>();
    view->content = u"연습 수도"_s;
    view->selection = {3, 2};
    fake->ownWindows->focused = view;
    EXPECT_EQ(capture().value().selectionBounds, QRectF(324, 300, 16, 18));
    view->selection = {0, 0};
    EXPECT_FALSE(capture());
}

TEST_F(TextAccess, typoRunWideningAcceptedRefusedAndReadBackDifferent)
{
    const QString text = u"say ㅗ디ㅣㅐ now"_s;
    auto app = fake->openEditor(text, {5, 1});
    auto cap = capture();
    ASSERT_TRUE(cap);
    EXPECT_EQ(cap->selected, u"ㅗ디ㅣㅐ"_s);
    EXPECT_EQ(app->selection, (TextRange{4, 4})); // the application's own selection moved
    EXPECT_EQ(cap->selectionBounds, QRectF(140, 200, 40, 20)); // bounds of the whole run
    // The replacement then covers the whole run.
    EXPECT_TRUE(replace(*cap, u"hello"_s));
    EXPECT_EQ(app->text, u"say hello now"_s);

    // The application refuses the new range: the fragment is used as selected.
    app->text = text;
    app->selection = {5, 1};
    fake->writeFaults(*app).refused[Accessibility::selectedTextRangeAttribute] = AXError::cannotComplete;
    cap = capture();
    ASSERT_TRUE(cap);
    EXPECT_EQ(cap->selected, u"디"_s);
    EXPECT_EQ(app->selection, (TextRange{5, 1}));

    // It reports success but keeps its selection: the old range is written back.
    fake->writeFaults(*app).refused.clear();
    app->ignoredWrites.insert(Accessibility::selectedTextRangeAttribute);
    app->attributeWrites = 0;
    cap = capture();
    ASSERT_TRUE(cap);
    EXPECT_EQ(cap->selected, u"디"_s);
    EXPECT_EQ(cap->selectionBounds, QRectF(150, 200, 10, 20));
    EXPECT_EQ(app->attributeWrites, 2);
}

TEST_F(TextAccess, accessibilityReplacementIsVerified)
{
    const QString sentence = u"대한민국의 수도는 서울이다"_s;
    auto app = fake->openEditor(sentence, {6, 2});
    const auto cap = capture();
    ASSERT_TRUE(cap);

    // Each case: the sentence selected afresh, one quirk of the application's writes; whether the
    // replacement is pasted after all.
    const QString replaced = u"대한민국의 首都는 서울이다"_s;
    const auto& selected = Accessibility::selectedTextAttribute;
    const struct {
        const char* quirk;
        std::function<void()> arrange;
        QString text;
        bool pasted;
    } cases[] = {
        {"written as asked", [] {}, replaced, false},
        {"success reported, text unchanged", [&] { app->ignoredWrites.insert(selected); }, replaced, true},
        {"success reported, the text changed late (an input method, a busy application)",
         [&] {
             app->ignoredWrites.insert(selected);
             fake->clock->afterMs(TextReplacer::writeShowsWithinMs - 100, [&] { app->text = replaced; });
         },
         replaced, false},
        {"a value that cannot be read back is trusted",
         [&] {
             app->ignoredWrites.insert(selected);
             app->readOverrides[Accessibility::valueAttribute] = {AXError::cannotComplete, {}};
         },
         sentence, false},
        {"a time-out reported, the write carried out", [&] { fake->writeFaults(*app).late[selected] = AXError::cannotComplete; },
         replaced, false},
        {"the selection deleted, nothing inserted", [&] { fake->writeFaults(*app).half.insert(selected); }, replaced, true},
        {"the write refused", [&] { fake->writeFaults(*app).refused[selected] = AXError::cannotComplete; }, replaced, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.quirk);
        app->text = sentence;
        app->selection = {6, 2};
        app->readOverrides.clear();
        app->ignoredWrites.clear();
        fake->writeFaults(*app) = {};
        fake->keyPoster->clearPosted();
        c.arrange();
        EXPECT_TRUE(replace(*cap, u"首都"_s));
        EXPECT_EQ(app->text, c.text);
        if (c.pasted) {
            EXPECT_TRUE(postedOnly({KeyCode::v, ModifierFlag::control}));
        } else {
            EXPECT_TRUE(fake->keyPoster->posted().isEmpty());
        }
    }
}

TEST_F(TextAccess, aReplacementThatChangesNothingIsWrittenOnce)
{
    // The write collapses the selection and leaves the value as it was: a paste after it would
    // put the line in a second time.
    const QString lines = u"오늘은 날씨가 좋다.\n내일은 비."_s;
    auto app = fake->openEditor(lines, {0, 12});
    auto cap = capture();
    ASSERT_TRUE(cap);
    ASSERT_EQ(cap->selected, u"오늘은 날씨가 좋다.\n"_s);
    EXPECT_TRUE(replace(*cap, cap->selected));
    EXPECT_EQ(app->text, lines);
    EXPECT_TRUE(fake->keyPoster->posted().isEmpty());

    // An application that composes what it is given keeps its value for a decomposed copy of the
    // selection: the write is taken as done, not pasted over.
    app = fake->openEditor(u"한글 문서"_s, {0, 2});
    app->ignoredWrites.insert(Accessibility::selectedTextAttribute);
    cap = capture();
    ASSERT_TRUE(cap);
    EXPECT_TRUE(replace(*cap, u"한글"_s.normalized(QString::NormalizationForm_D)));
    EXPECT_EQ(app->text, u"한글 문서"_s);
    EXPECT_TRUE(fake->keyPoster->posted().isEmpty());
}

TEST_F(TextAccess, pasteRestoresTheClipboardUnlessAnotherProgramWroteMeanwhile)
{
    auto app = clipboardOnlyEditor();
    const auto cap = capture();
    ASSERT_TRUE(cap);

    EXPECT_TRUE(replace(*cap, u"首都"_s));
    EXPECT_EQ(app->text, u"首都"_s);
    EXPECT_EQ(fake->pasteboard->items(), userClipboard()); // every item, every type, every byte

    // Another program copies something 100 ms into the wait: its content stays.
    app->text = u"수도"_s;
    app->selection = {0, 2};
    fake->clock->afterMs(100, [this] { fake->pasteboard->writeStringFromOtherProgram(u"newer"_s); });
    EXPECT_TRUE(replace(*cap, u"首都"_s));
    EXPECT_EQ(app->text, u"首都"_s);
    EXPECT_EQ(fake->pasteboard->text(), u"newer"_s);

    // An empty clipboard comes back empty.
    app->text = u"수도"_s;
    app->selection = {0, 2};
    fake->pasteboard->clearContents();
    EXPECT_TRUE(replace(*cap, u"首都"_s));
    EXPECT_TRUE(fake->pasteboard->items().isEmpty());
}

// An application that reads the clipboard late must get the replacement, not the user's old
// contents; the clipboard comes back once it asked (a clipboard history's read does not count).
TEST_F(TextAccess, pasteReadLateGetsTheReplacementAndNoReadWaitsForTheDeadline)
{
    auto app = clipboardOnlyEditor();
    const auto cap = capture();
    ASSERT_TRUE(cap);
    app->pasteDelayMs = 900;
    fake->clock->afterMs(10, [this] { fake->pasteboard->stringFor(900); });
    const qint64 start = fake->clock->monotonicMs();
    EXPECT_TRUE(replace(*cap, u"首都"_s));
    EXPECT_EQ(app->text, u"首都"_s);
    EXPECT_EQ(fake->pasteboard->items(), userClipboard());
    const qint64 waited = fake->clock->monotonicMs() - start;
    EXPECT_GE(waited, 900);
    EXPECT_LT(waited, 900 + 50);

    // No request at all: nothing was written; back at the deadline.
    app->text = u"수도"_s;
    app->selection = {0, 2};
    app->pastesOnPasteChord = false;
    const qint64 again = fake->clock->monotonicMs();
    EXPECT_FALSE(replace(*cap, u"首都"_s));
    EXPECT_EQ(fake->clock->monotonicMs() - again, TextReplacer::pasteDeadlineMs);
    EXPECT_EQ(fake->pasteboard->items(), userClipboard());
}

// A target that stopped takes the queued paste once it runs again, long after the replacement
// gave up and left the text for the user: the user's clipboard comes back after that paste.
TEST_F(TextAccess, aPasteThatLandsAfterTheReplacementGaveUpGivesTheClipboardBack)
{
    auto app = clipboardOnlyEditor();
    const auto cap = capture();
    ASSERT_TRUE(cap);
    app->pasteDelayMs = TextReplacer::pasteDeadlineMs + TextReplacer::lateReadMs + 60000;
    EXPECT_FALSE(QCoro::waitFor(TextReplacer::replace(*cap, u"首都"_s, [] { return true; })));
    EXPECT_EQ(fake->pasteboard->text(), u"首都"_s) << "left on the clipboard, as the user is told";
    fake->clock->advance(61000);
    EXPECT_EQ(app->text, u"首都"_s);
    EXPECT_EQ(fake->pasteboard->items(), userClipboard());
}

// Another application in front before the paste: SessionFixture.ARefusedReplacementSaysSoAndStillLearns.
TEST_F(TextAccess, copyRefusedWhenTheFrontmostApplicationChanged)
{
    clipboardOnlyEditor();
    auto other = fake->workspace->addApplication(777, u"org.example.Chat"_s);
    // It comes in front while the user still holds the shortcut's modifiers.
    fake->keyPoster->holdModifiers(ModifierFlag::control | ModifierFlag::option, 200);
    fake->clock->afterMs(100, [this, other] { fake->workspace->activate(other->pid()); });
    const qint64 count = fake->pasteboard->changeCount();
    EXPECT_FALSE(capture());
    EXPECT_EQ(fake->pasteboard->changeCount(), count);
    EXPECT_TRUE(fake->keyPoster->posted().isEmpty()) << "no key reached the other application";
}

TEST_F(TextAccess, modifierWaitPostsAfterReleaseOrGivesUpAfterOneSecond)
{
    auto app = clipboardOnlyEditor();

    // Held for 400 ms: the keystroke follows the release.
    fake->keyPoster->holdModifiers(ModifierFlag::control | ModifierFlag::option, 400);
    qint64 start = fake->clock->monotonicMs();
    EXPECT_TRUE(QCoro::waitFor(KeySim::press(KeyCode::h, ModifierFlag::command, app->pid())));
    ASSERT_EQ(fake->keyPoster->posted().size(), 2);
    const qint64 postedAfter = fake->keyPoster->posted()[0].atMs - start;
    EXPECT_GE(postedAfter, 400);
    EXPECT_LT(postedAfter, 400 + KeySim::modifierPollMs);

    // Ctrl and Alt let go first, the shortcut's own key still down: every key would go to its
    // grab, so the keystroke waits for that key too.
    fake->keyPoster->clearPosted();
    fake->hotKeys->keyDown = true;
    fake->clock->afterMs(150, [this] { fake->hotKeys->keyDown = false; });
    start = fake->clock->monotonicMs();
    EXPECT_TRUE(QCoro::waitFor(KeySim::press(KeyCode::h, ModifierFlag::command, app->pid())));
    ASSERT_EQ(fake->keyPoster->posted().size(), 2);
    EXPECT_GE(fake->keyPoster->posted()[0].atMs - start, 150);

    // Caps lock is not a held modifier.
    fake->keyPoster->clearPosted();
    fake->keyPoster->holdModifiers(ModifierFlag::capsLock);
    start = fake->clock->monotonicMs();
    EXPECT_TRUE(QCoro::waitFor(KeySim::press(KeyCode::h, ModifierFlag::command, app->pid())));
    EXPECT_EQ(fake->keyPoster->posted()[0].atMs, start);

    // Held for good: refused after a second, nothing posted, the clipboard as it was.
    fake->keyPoster->clearPosted();
    fake->keyPoster->holdModifiers(ModifierFlag::command);
    auto cap = Capture{u"수도"_s, u"수도"_s, false, nullptr, std::nullopt, app->pid(), nullptr};
    start = fake->clock->monotonicMs();
    EXPECT_FALSE(replace(cap, u"首都"_s));
    const qint64 waited = fake->clock->monotonicMs() - start;
    EXPECT_GE(waited, 1000);
    EXPECT_LT(waited, 1000 + KeySim::modifierPollMs);
    EXPECT_TRUE(fake->keyPoster->posted().isEmpty());
    EXPECT_EQ(app->text, u"수도"_s);
    EXPECT_EQ(fake->pasteboard->items(), userClipboard());
}

// A terminal's selection is read from its PRIMARY, and no key at all reaches it for the capture.
// The paste takes the terminal's own chord: Ctrl+Shift+V through the clipboard, restored
// afterwards, or in xterm Shift+Insert, the replacement offered on PRIMARY, the clipboard untouched.
TEST_F(TextAccess, terminalsAreReadFromPrimaryAndPastedWithTheirOwnChord)
{
    const struct {
        const char* id;
        KeyChord paste;
        bool pastesPrimary;
    } terminals[] = {{"gnome-terminal-server", {KeyCode::v, ModifierFlag::control | ModifierFlag::shift}, false},
                     {"XTerm", {KeyCode::insert, ModifierFlag::shift}, true}};
    Pid pid = 610;
    for (const auto& t : terminals) {
        SCOPED_TRACE(t.id);
        // Without accessibility, its selection on PRIMARY, owned by it.
        auto term = fake->openEditor(u"$ echo 수도"_s, {7, 2}, pid, QString::fromLatin1(t.id));
        term->hasAccessibleFocus = false;
        fake->pasteboard->writeFromOtherProgram(userClipboard());
        fake->primarySelection->writeStringFromOtherProgram(u"수도"_s);
        fake->primarySelection->owner = pid++;
        auto cap = capture();
        ASSERT_TRUE(cap);
        EXPECT_EQ(cap->selected, u"수도"_s);
        EXPECT_TRUE(fake->keyPoster->posted().isEmpty()) << "no key at all reaches a terminal for a capture";

        const qint64 clipboardCount = fake->pasteboard->changeCount();
        EXPECT_TRUE(replace(*cap, u"首都"_s));
        EXPECT_TRUE(postedOnly(t.paste));
        EXPECT_EQ(term->text, u"$ echo 首都"_s);
        EXPECT_EQ(fake->pasteboard->items(), userClipboard());
        if (t.pastesPrimary) {
            EXPECT_EQ(fake->pasteboard->changeCount(), clipboardCount) << "the clipboard is not touched";
        }
        EXPECT_EQ(fake->primarySelection->text(), u"수도"_s) << "PRIMARY is given back";
        fake->keyPoster->clearPosted();
    }

    // PRIMARY held by another program is not the terminal's selection: nothing, and still no key.
    fake->primarySelection->owner = 777;
    EXPECT_FALSE(capture());
    EXPECT_TRUE(fake->keyPoster->posted().isEmpty());
}

// The accessibility layer can keep naming a background editor's text as focused while an
// application without accessibility is in front: that text is neither read nor written, and the
// front application's own way is taken (a terminal's: the e2e tier, with xterm).
TEST_F(TextAccess, aFocusLeftInABackgroundApplicationIsNotTaken)
{
    auto editor = fake->openEditor(u"수도를 보다"_s, {0, 2});
    fake->accessibility->backgroundFocus = editor;

    auto plain = fake->openEditor(u"서울 수도"_s, {3, 2}, 630, u"org.example.Plain"_s);
    plain->hasAccessibleFocus = false;
    auto own = fake->openEditor(u"수도"_s, {0, 2}, 640, u"org.example.Own"_s);
    own->answersSystemWideFocus = false;
    // In front in turn: an editor without accessibility (its copy chord) and one whose focus only
    // its own element knows (read and written through it).
    const struct {
        std::shared_ptr<MemoryApplication> app;
        bool viaAccessibility;
        QString after;
    } fronts[] = {{plain, false, u"서울 首都"_s}, {own, true, u"首都"_s}};
    for (const auto& front : fronts) {
        SCOPED_TRACE(front.app->pid());
        fake->workspace->activate(front.app->pid());
        const auto cap = capture();
        ASSERT_TRUE(cap);
        EXPECT_EQ(cap->viaAccessibility, front.viaAccessibility);
        EXPECT_TRUE(replace(*cap, u"首都"_s));
        EXPECT_EQ(front.app->text, front.after);
    }

    EXPECT_EQ(editor->text, u"수도를 보다"_s);
    EXPECT_EQ(editor->attributeWrites, 0);
}
