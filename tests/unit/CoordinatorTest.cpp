#include "core/PickHistory.h"
#include "core/Ranker.h"
#include "core/WritingSettings.h"

#include "SessionFixture.h"

using TestSupport::pickJson;

TEST_F(SessionFixture, DictionaryPickReplacesTheWordAndKeepsTheEnding)
{
    auto editor = fake->openEditor("대한민국의 수도는 서울이다", {6, 3});
    ASSERT_TRUE(pressShowsList());
    EXPECT_EQ(primaries(), QStringList({"首都", "水道", "修道", "囚徒"}));
    EXPECT_EQ(panel.model().items()[0].secondary, "머리 수 · 도읍 도");
    EXPECT_FALSE(coordinator.busy) << "busy ends once the list is up";

    press(kDigit1);
    ASSERT_TRUE(spinUntil([&] { return replacedPosts > 0; }));
    EXPECT_EQ(editor->text, "대한민국의 수도(首都)는 서울이다");
    spinUntil([] { return false; });
    EXPECT_EQ(replacedPosts, 1) << "one press, at most one replacement";

    // With Alt the spelling is copied and the text left; it counts as a pick all the same.
    editor = fake->openEditor("수도를", {0, 3});
    ASSERT_TRUE(pressShowsList());
    press(kDigit2, ModifierFlag::option);
    EXPECT_EQ(fake->pasteboard->text(), "水道");
    spinUntil([] { return false; });
    EXPECT_EQ(editor->text, "수도를");
    EXPECT_EQ(replacedPosts, 1);
    EXPECT_EQ(PickHistory::shared().count(), 2) << "both picks learned";
}

TEST_F(SessionFixture, PressesWhileLoadingAndALateRankerAnswer)
{
    useModel();
    model->hold();
    fake->openEditor("수도를", {0, 3});
    coordinator.trigger();
    ASSERT_TRUE(spinUntil([&] { return panel.isVisible() && panel.model().isLoading(); }));
    EXPECT_EQ(panel.model().header(), "\"수도\"를 · AI · 한글(漢字)");

    coordinator.trigger(); // closes the loading panel: the model's answer is no longer wanted
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(model->givenUp(), 1);
    EXPECT_TRUE(coordinator.busy);
    coordinator.trigger(); // ignored: the session still winds up
    EXPECT_FALSE(panel.isVisible());
    const int buildsBefore = fake->panelWindow->contentBuilds();

    ASSERT_TRUE(spinUntil([&] { return !coordinator.busy; })) << "the session ends without the model";
    EXPECT_FALSE(panel.isVisible()) << "the late list is dropped";
    EXPECT_EQ(fake->panelWindow->contentBuilds(), buildsBefore);
    model->release();
    EXPECT_TRUE(pressShowsList()) << "the next press has a list";
}

// Without a ranking from the model the learned picks lead (without a model at all: RankerTest and
// the learning command), one availability check per press; a ranking keeps its first choice on top.
TEST_F(SessionFixture, AFailingModelShowsFrequencyAndTheLearnedOrder)
{
    for (int i = 0; i < 3; ++i) PickHistory::shared().record("수도", "囚徒", QDateTime::currentDateTime());
    useModel();
    model->queueStructuredError("HTTP 500: model crashed");
    fake->openEditor("수도를", {0, 3});
    ASSERT_TRUE(pressShowsList());
    EXPECT_EQ(panel.model().header(), "\"수도\"를 · 빈도순 · 한글(漢字)") << "the model ranked nothing";
    EXPECT_EQ(primaries(), QStringList({"囚徒", "首都", "水道", "修道"}));
    EXPECT_EQ(model->availabilityChecks(), 1);
    panel.dismiss();

    model->queueStructured(pickJson({0}, "", {"뜻0"}));
    WritingSettings::setMeaningStyle(MeaningLine::Style::summary);
    ASSERT_TRUE(pressShowsList());
    EXPECT_EQ(primaries().mid(0, 2), QStringList({"首都", "囚徒"}));
    EXPECT_EQ(panel.model().items()[0].secondary, "뜻0");
    EXPECT_EQ(model->availabilityChecks(), 2);
}

TEST_F(SessionFixture, ARefusedReplacementSaysSoAndStillLearns)
{
    auto editor = fake->openEditor("수도를", {0, 3});
    fake->writeFaults(*editor).refused.insert(Accessibility::selectedTextAttribute, AXError::cannotComplete);
    auto other = fake->workspace->addApplication(900, QStringLiteral("org.example.Other"));
    fake->pasteboard->writeStringFromOtherProgram(kUserClipboard);
    ASSERT_TRUE(pressShowsList());
    press(kDigit1);
    fake->workspace->activate(other->pid()); // the user switched away before the paste
    ASSERT_TRUE(spinUntil([&] { return panel.model().header() == Coordinator::appChangedNotice; }));
    EXPECT_EQ(editor->text, "수도를");
    EXPECT_EQ(other->text, "");
    EXPECT_EQ(fake->pasteboard->text(), kUserClipboard);
    EXPECT_EQ(replacedPosts, 0);
    EXPECT_EQ(PickHistory::shared().count(), 1);
}

// The write waits for the editor to say it has its focus back from the panel's grab, not for a
// time; also when it says it lost it only after the pick. One that keeps its focus under the grab
// is written at once when the pick comes after it had time to say otherwise.
TEST_F(SessionFixture, APickIsWrittenOnceTheEditorHasItsFocusBack)
{
    for (const bool lostBeforePick : {true, false}) {
        auto editor = fake->openEditor("수도를", {0, 3});
        ASSERT_TRUE(pressShowsList());
        fake->clock->setAutoAdvance(false);
        if (lostBeforePick) editor->reportFocus(false); // the panel holds the keyboard
        press(kDigit1);
        fake->clock->advance(6);
        editor->reportFocus(false);
        fake->clock->advance(20);
        EXPECT_EQ(editor->text, "수도를") << "not into a field still being refocused";
        editor->reportFocus(true);
        fake->clock->advance(2);
        EXPECT_EQ(editor->text, "수도(首都)를") << "lost before the pick: " << lostBeforePick;
        fake->clock->setAutoAdvance(true);
        EXPECT_TRUE(spinUntil([&] { return replacedPosts == (lostBeforePick ? 1 : 2); }));
    }
    auto editor = fake->openEditor("수도를", {0, 3});
    ASSERT_TRUE(pressShowsList());
    settle(200); // the list is read
    fake->clock->setAutoAdvance(false);
    press(kDigit1);
    fake->clock->advance(1);
    EXPECT_EQ(editor->text, "수도(首都)를") << "kept its focus: nothing to wait for";
    fake->clock->setAutoAdvance(true);
    EXPECT_TRUE(spinUntil([&] { return replacedPosts == 3 && coordinator.settled(); }));
}

TEST_F(SessionFixture, LayoutTyposAreOfferedConverted)
{
    // Its header and row as the simulate command prints them: SimulateCliTest.
    fake->openEditor("dkssud", {0, 6});
    ASSERT_TRUE(pressShowsList());
    ASSERT_EQ(primaries(), QStringList({"안녕"}));
    EXPECT_EQ(fake->panelWindow->contentBuilds(), 1) << "no loading state before a layout fix";
    press(kDigit1);
    ASSERT_TRUE(spinUntil([&] { return replacedPosts == 1; })); // written: the blanks case's third row
    EXPECT_EQ(PickHistory::shared().count(), 0) << "layout rows are not learned";

    // Two words: without a model only the fix, with one also the cleanup offer.
    fake->openEditor("dkssud gktpdy", {0, 13});
    ASSERT_TRUE(pressShowsList());
    EXPECT_EQ(primaries(), QStringList({"안녕 하세요"}));
    panel.dismiss();

    useModel();
    model->queueText("안녕하세요");
    ASSERT_TRUE(pressShowsList());
    EXPECT_EQ(primaries(), QStringList({"안녕 하세요", "오타 정리…"}));
    press(kDigit2);
    ASSERT_TRUE(spinUntil([&] { return listShown() && panel.model().header() == "오타 정리"; }));
    EXPECT_EQ(primaries(), QStringList({"안녕하세요"}));
    EXPECT_EQ(panel.model().items()[0].secondary, "");
}

TEST_F(SessionFixture, DecomposedHangulAndBlanksSelectedAroundTheWordStayAsTheyWere)
{
    // Decomposed Hangul is the same word. A triple-click takes the line break; a drag, the spaces
    // around the word, also for a model's cleanup.
    const QString nfd = QString("수도를").normalized(QString::NormalizationForm_D);
    ASSERT_NE(nfd.size(), 3);
    const struct {
        QString text;
        TextRange selection;
        QString header, after, cleanup;
    } cases[] = {{nfd, {0, nfd.size()}, "\"수도\"를 · 빈도순 · 한글(漢字)", "수도(首都)를", ""},
                 {"제목: 수도\n본문", {4, 3}, "\"수도\" · 빈도순 · 한글(漢字)", "제목: 수도(首都)\n본문", ""},
                 {"x dkssud y", {1, 8}, "자판 되돌리기 · \"dkssud\"", "x 안녕 y", ""},
                 {"가. 서울은 크다 \n나.", {3, 8}, "오타 정리 · AI", "가. 서울은 크다. \n나.", "서울은 크다."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.after.toStdString());
        if (!c.cleanup.isEmpty()) {
            useModel();
            model->queueText(c.cleanup);
        }
        const int before = replacedPosts;
        auto editor = fake->openEditor(c.text, c.selection);
        ASSERT_TRUE(pressShowsList());
        EXPECT_EQ(panel.model().header(), c.header);
        press(kDigit1);
        ASSERT_TRUE(spinUntil([&] { return replacedPosts == before + 1; }));
        EXPECT_EQ(editor->text, c.after);
    }
}

TEST_F(SessionFixture, TextThatIsNoWordGoesToCleanupOrANotice)
{
    fake->openEditor("서울은 크다", {0, 6});
    ASSERT_TRUE(pressSettles());
    EXPECT_EQ(panel.model().header(), "사전에 없는 말이고, 이 컴퓨터에선 교정 모델을 쓸 수 없습니다");
    panel.dismiss();

    useModel();
    model->queueText("서울은 크다.");
    ASSERT_TRUE(pressShowsList());
    EXPECT_EQ(panel.model().items()[0].secondary, "원문: 서울은 크다");
    panel.dismiss();

    model->queueText("서울은 크다");
    ASSERT_TRUE(pressSettles());
    EXPECT_EQ(panel.model().header(), "고칠 곳이 없습니다");
}

TEST_F(SessionFixture, NoPermissionOrNoSelection)
{
    fake->openEditor("   \n", {0, 4});
    ASSERT_TRUE(pressSettles());
    EXPECT_EQ(panel.model().header(), "선택된 텍스트가 없습니다");
    coordinator.trigger();
    EXPECT_FALSE(panel.isVisible()) << "a press over a notice closes it and starts nothing";
    EXPECT_FALSE(coordinator.busy);

    // The desktop's accessibility switch off: the copy chord reads and a paste writes.
    fake->accessibility->trusted = false;
    auto editor = fake->openEditor("수도는", {0, 3});
    const int writes = editor->attributeWrites;
    ASSERT_TRUE(pressShowsList());
    fake->panelWindow->pressKey(kDigit1);
    // A restart in place waits for this: a pick's paste must not be cut off by it.
    EXPECT_FALSE(coordinator.busy);
    EXPECT_FALSE(coordinator.settled());
    EXPECT_TRUE(spinUntil([&] { return editor->text == "수도(首都)는"; })) << editor->text.toStdString();
    EXPECT_EQ(editor->attributeWrites, writes) << "nothing written over the accessibility bus";
    EXPECT_TRUE(spinUntil([&] { return coordinator.settled(); })) << "the paste gives the clipboard back";
}

// A password field (or the focus moved to one before the pick) is neither read, nor copied from,
// nor written, whichever way the selection would have been taken; the panel says why.
TEST_F(SessionFixture, APasswordFieldIsNeitherReadNorCopiedFromNorWritten)
{
    const AXResult<AXValue> secure{AXError::success, Accessibility::secureTextFieldSubrole};
    for (const bool forceCopy : {false, true}) {
        SCOPED_TRACE(forceCopy);
        defaults->setValue("debugForceClipboardCapture", forceCopy);
        auto field = fake->openEditor("수도", {0, 2});
        field->readOverrides[Accessibility::subroleAttribute] = secure;
        ASSERT_TRUE(pressSettles());
        EXPECT_EQ(panel.model().header(), Coordinator::passwordFieldNotice);
        EXPECT_TRUE(fake->keyPoster->posted().isEmpty()) << "no copy chord";
        panel.dismiss();

        field->readOverrides.clear();
        ASSERT_TRUE(pressShowsList());
        EXPECT_EQ(fake->keyPoster->posted().isEmpty(), !forceCopy) << "the debug setting copies what it could read";
        fake->keyPoster->clearPosted();
        field->readOverrides[Accessibility::subroleAttribute] = secure;
        ASSERT_TRUE(press(kDigit1));
        ASSERT_TRUE(spinUntil([&] { return panel.isNotice(); }));
        EXPECT_EQ(field->text, "수도");
        EXPECT_TRUE(fake->keyPoster->posted().isEmpty()) << "no paste chord";
        panel.dismiss();
    }
}

namespace {
// A model whose availability check throws, as any step of a session might.
struct ThrowingModel : FakeLanguageModel {
    QCoro::Task<bool> isAvailable() override
    {
        throw std::runtime_error("availability check blew up");
        co_return true;
    }
};
} // namespace

TEST_F(SessionFixture, ASessionThatThrowsEndsWithANoticeAndReleasesBusy)
{
    LanguageModels::setShared(std::make_shared<ThrowingModel>());
    fake->openEditor("수도를", {0, 3});
    ASSERT_TRUE(pressSettles()) << "a failed session must not keep busy";
    EXPECT_EQ(panel.model().header(), Coordinator::failedNotice);

    // The next press works.
    LanguageModels::setShared(nullptr);
    panel.dismiss();
    ASSERT_TRUE(pressShowsList());
    EXPECT_EQ(primaries().first(), "首都");
}

TEST_F(SessionFixture, ACompoundTheDictionaryLacksLeadsAndIsLearnedWhole)
{
    useCompoundOfParts();

    auto editor = fake->openEditor("세율과 부과계수를 정한다", {4, 5});
    ASSERT_TRUE(pressShowsList());
    EXPECT_EQ(primaries(), QStringList({"賦課係數", "賦課計數", "副果係數", "賦課", "副果"}))
        << "three compound rows first, the stem's own rows after them";
    const Candidate first = panel.model().items()[0];
    EXPECT_EQ(first.secondary, "賦課 + 係數");
    EXPECT_EQ(first.replacement, "부과계수(賦課係數)를");

    // The second compound picked: written whole, in the chosen format, and learned for the compound.
    WritingSettings::setFormat(ReplacementFormat::Format::hanjaParenHangul);
    panel.dismiss();
    ASSERT_TRUE(pressShowsList());
    press(kDigit2);
    ASSERT_TRUE(spinUntil([&] { return replacedPosts > 0; }));
    EXPECT_EQ(editor->text, "세율과 賦課計數(부과계수)를 정한다");

    fake->openEditor("부과계수", {0, 4});
    ASSERT_TRUE(pressShowsList());
    EXPECT_EQ(primaries().mid(0, 3), QStringList({"賦課計數", "賦課係數", "副果係數"}));
    EXPECT_EQ(panel.model().items()[0].replacement, "賦課計數(부과계수)");
}

// A part picked alone is spelled so in the compounds made of it, unless writers spelled the compound.
TEST_F(SessionFixture, ACompoundSpellsAPartAsItWasPickedAlone)
{
    useCompoundOfParts();
    PickHistory::shared().record("계수", "計數", QDateTime::currentDateTime());
    fake->openEditor("부과계수를", {0, 5});
    ASSERT_TRUE(pressShowsList());
    EXPECT_EQ(primaries().mid(0, 2), QStringList({"賦課計數", "賦課係數"}));

    data.write("seen_compounds.tsv", "부과계수\t賦課係數\t3\n");
    reloadDictionary();
    panel.dismiss();
    ASSERT_TRUE(pressShowsList());
    EXPECT_EQ(primaries().mid(0, 2), QStringList({"賦課係數", "賦課計數"}));
}

TEST_F(SessionFixture, ACompoundAsWritersSpelledItReadsTextWithNoDictionaryWordAtItsStart)
{
    data.write("hanja.tsv", "이\t李\t오얏 리\n순\t舜\t순임금 순\n신\t臣\t신하 신\n");
    data.write("known_endings.tsv", "은\t100\t10\n");
    data.write("seen_compounds.tsv", "이순신\t李舜臣\t56\n이순신\t李純信\t5\n");
    reloadDictionary();

    auto editor = fake->openEditor("이순신은 장군이다", {0, 4});
    ASSERT_TRUE(pressShowsList()) << "a list, not the notice for text that is no dictionary word";
    EXPECT_EQ(primaries(), QStringList({"李舜臣", "李純信"}));
    EXPECT_EQ(panel.model().items()[0].secondary, "오얏 리 · 순임금 순 · 신하 신")
        << "no dictionary words spell it: the glosses, as for a dictionary row";
    press(kDigit2);
    ASSERT_TRUE(spinUntil([&] { return replacedPosts > 0; }));
    EXPECT_EQ(editor->text, "이순신(李純信)은 장군이다");
}

// A pick moves its row to the top from whichever word's rows it is among: the compound rows, the
// stem's own rows, or a compound offered after them.
TEST_F(SessionFixture, APickedRowLeadsWhicheverWordItWrites)
{
    useCompoundOfParts();
    const QDateTime now = QDateTime::currentDateTime();
    PickHistory::shared().record("부과", "賦課", now);
    fake->openEditor("부과계수를", {0, 5});
    ASSERT_TRUE(pressShowsList());
    EXPECT_EQ(primaries(), QStringList({"賦課", "賦課係數", "賦課計數", "副果係數", "副果"}));
    EXPECT_EQ(panel.model().header(), "\"부과\"계수를 · 빈도순 · 한글(漢字)") << "the header names the first row's word";
    EXPECT_EQ(panel.model().items()[0].replacement, "부과(賦課)계수를");

    // With a model, its first choice stays ahead of the picks of its word, not of a compound's.
    panel.dismiss();
    useModel();
    PickHistory::shared().record("부과계수", "副果係數", now.addSecs(1));
    PickHistory::shared().record("부과계수", "副果係數", now.addSecs(2));
    model->queueStructured(pickJson({1}, "", {"뜻1"}));
    ASSERT_TRUE(pressShowsList());
    EXPECT_EQ(primaries(), QStringList({"副果係數", "副果", "賦課", "賦課係數", "賦課計數"}));
    EXPECT_EQ(panel.model().header(), "\"부과계수\"를 · AI · 한글(漢字)");

    // A compound offered after the stem's rows, picked, comes first too.
    panel.dismiss();
    LanguageModels::setShared(nullptr);
    // 정신보다: a compound writers spelled, which the text reads likelier as 정신 + 보다.
    data.write("hanja.tsv", "정신\t精神\t\n정신\t挺身\t\n");
    data.write("known_endings.tsv", "\t3000000\t10\n다\t7000\t10\n보다\t6500\t10\n");
    data.write("seen_compounds.tsv", "정신보\t鄭臣保\t2\t1085\n");
    data.write("compound_parts.tsv", "");
    reloadDictionary();
    PickHistory::shared().record("정신보", "鄭臣保", now);
    fake->openEditor("정신보다", {0, 4});
    ASSERT_TRUE(pressShowsList());
    EXPECT_EQ(primaries(), QStringList({"鄭臣保", "精神", "挺身"}));
    EXPECT_EQ(panel.model().header(), "\"정신보\"다 · 빈도순 · 한글(漢字)");
    EXPECT_EQ(panel.model().items()[0].replacement, "정신보(鄭臣保)다");
}

// Twelve syllables are the longest selection still looked up as a word.
TEST_F(SessionFixture, ATwelveSyllableWordIsStillLookedUp)
{
    data.write("hanja.tsv", "가나다라마바사아자차카타\t加那多羅馬婆沙阿自此可他\n");
    reloadDictionary();
    fake->openEditor("가나다라마바사아자차카타", {0, 12});
    ASSERT_TRUE(pressShowsList());
    EXPECT_EQ(primaries(), QStringList({"加那多羅馬婆沙阿自此可他"}));
}
