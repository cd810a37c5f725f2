// A selection of several eojeols: which words are steps, the answers written once, and a session
// stepping through them with the panel's keys.
#include "core/PickHistory.h"
#include "core/SentenceSteps.h"

#include "SessionFixture.h"

namespace {

constexpr quint16 kDigit3 = 20, kSpace = 49, kBackspace = 51, kReturn = 36, kEscape = 53, kRight = 124;

// 대한민국, 수도, 정부: words of two syllables and more; 수 and 도 one syllable; 서울 no word.
const QByteArray kSentenceDictionary = "대한민국\t大韓民國\n수도\t首都\n수도\t水道\n정부\t政府\n수\t首\t머리 수\n"
                                       "도\t都\t도읍 도\n국회\t國會\n";

} // namespace

TEST(SentenceStepsTest, StepsAreTheEojeolsAPressWouldFindAWordOfTwoSyllablesIn)
{
    HanjaDictionary dictionary{HanjaDictionary::Texts(kSentenceDictionary)};
    const struct {
        QString text;
        QStringList steps;
    } cases[] = {
        {"대한민국의 수도는 서울이다", {"대한민국의", "수도는"}},
        {"“수도는” (정부), 국회.", {"수도는", "정부", "국회"}},   // punctuation around a word is kept out
        {"수 도 서울", {}},                                        // one-syllable words, no word
        {"수도(首都)는 정부가", {"정부가"}},                      // annotated already
        {"3수도 ABC수도 수도3", {}},                               // digits and letters make no word
        {"수도는\n\t정부가", {"수도는", "정부가"}},
        {"수도·정부ㆍ국회 『대한민국』·『정부』와", {"수도", "정부", "국회", "대한민국", "정부"}}, // marks inside an eojeol part words
        {"“수도”정부 首都(수도)·국회 정부(政府)·국회", {"수도", "국회", "국회"}}, // what a closing mark ends is an ending
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        QStringList words;
        for (const SentenceSteps::Step& s : SentenceSteps::find(c.text, dictionary).steps)
            words.append(c.text.mid(s.start, s.length));
        EXPECT_EQ(words, c.steps);
    }
    EXPECT_FALSE(SentenceSteps::isSentence(" 수도는 "));
    EXPECT_TRUE(SentenceSteps::isSentence("수도는\n정부"));
}

TEST(SentenceStepsTest, PastTheLimitsTheRestIsKeptAndCounted)
{
    HanjaDictionary dictionary{HanjaDictionary::Texts(kSentenceDictionary)};
    QString many;
    for (int i = 0; i < SentenceSteps::kMaxSteps + 5; ++i) many += QStringLiteral("수도 ");
    const SentenceSteps::Steps found = SentenceSteps::find(many, dictionary);
    EXPECT_EQ(found.steps.size(), SentenceSteps::kMaxSteps);
    EXPECT_EQ(found.leftOut, 5);
    EXPECT_FALSE(found.cut);

    // An eojeol the character limit cuts is not looked at.
    const QString longText = QString(SentenceSteps::kMaxChars - 1, QLatin1Char(' ')) + QStringLiteral("수도 정부");
    const SentenceSteps::Steps cut = SentenceSteps::find(longText, dictionary);
    EXPECT_TRUE(cut.steps.isEmpty());
    EXPECT_TRUE(cut.cut);
}

TEST(SentenceStepsTest, AnswersAreWrittenInPlaceWithEverythingBetweenKept)
{
    const QString text = QStringLiteral("  대한민국의,\n수도는  서울");
    const QList<SentenceSteps::Step> steps = {{2, 5, {}}, {9, 3, {}}};
    const struct {
        QString actions; // p: pick, s: skip, b: back
        QString written;
        qsizetype current;
    } cases[] = {
        {"pp", "  大韓民國의,\n首都는  서울", 2},
        {"sp", "  대한민국의,\n首都는  서울", 2},
        {"pbsp", "  대한민국의,\n首都는  서울", 2},   // back undoes the answer
        {"bbp", "  大韓民國의,\n수도는  서울", 1},    // back at the first step stays there
        {"ppp", "  大韓民國의,\n首都는  서울", 2},    // nothing after the last
        {"pps", "  大韓民國의,\n首都는  서울", 2},
    };
    const QStringList replacements = {"大韓民國의", "首都는"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.actions.toStdString());
        SentenceSteps::Walk walk(steps.size());
        for (QChar a : c.actions) {
            if (a == 'p') walk.pick(walk.done() ? QString() : replacements[walk.current()]);
            else if (a == 's') walk.skip();
            else walk.back();
        }
        EXPECT_EQ(SentenceSteps::compose(text, steps, walk), c.written);
        EXPECT_EQ(walk.current(), c.current);
    }
}

// A step's header at the start of a short text: the session's (StepsThroughTheWordsAndWritesOnce).
TEST(SentenceStepsTest, TheHeaderMarksTheWordInItsSurroundingsOnOneLine)
{
    const QString longText = QStringLiteral("가나다라마바사아자차카타파하\n가나다라 수도는 가나다라마바사아자차카타파하");
    EXPECT_EQ(SentenceSteps::header(longText, {20, 3, {}}, 2, 0, 9), "… 가나다라 [수도]는 가나다라마… · 1/9");
}

struct SentenceSession : SessionFixture {
    const QString text = QStringLiteral("대한민국의 수도는 서울이다");
    SentenceSession()
    {
        data.write("hanja.tsv", kSentenceDictionary);
        data.write("hanja_freq.tsv", "수도\t首都\t100\n");
        reloadDictionary();
    }
};

TEST_F(SentenceSession, StepsThroughTheWordsAndWritesOnce)
{
    const struct {
        QList<quint16> keys;
        QString written;
    } cases[] = {
        {{kDigit1, kDigit1}, "대한민국(大韓民國)의 수도(首都)는 서울이다"},
        {{kDigit1, kBackspace, kRight, kReturn}, "대한민국의 수도(首都)는 서울이다"},
        {{kSpace, kDigit2}, "대한민국의 수도(水道)는 서울이다"},
        {{kDigit1, kDigit3}, "대한민국(大韓民國)의 수도는 서울이다"},  // row 3 is the skip row
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written.toStdString());
        auto editor = fake->openEditor(text, {0, text.size()});
        const int before = replacedPosts;
        const int writes = editor->attributeWrites;
        ASSERT_TRUE(pressShowsList());
        EXPECT_EQ(panel.model().header(), "[대한민국]의 수도는 서… · 1/2");
        for (quint16 key : c.keys) press(key);
        ASSERT_TRUE(spinUntil([&] { return replacedPosts > before; }));
        EXPECT_EQ(editor->text, c.written);
        spinUntil([] { return false; });
        EXPECT_EQ(replacedPosts, before + 1) << "one write for the whole selection";
        EXPECT_EQ(editor->attributeWrites, writes) << "pasted, one undo step, not deleted and inserted";
    }
    EXPECT_EQ(PickHistory::shared().count(), 3) << "picks are learned, skips are not";
}

// Back, skip and pick typed while the second step's rows come: the panel's own queue
// (PanelFixture.KeysTypedWhileLoadingAreNeverLost) carries the sentence's keys too.
TEST_F(SentenceSession, KeysTypedWhileAStepsRowsAreComingAreKeptForThem)
{
    useModel();
    model->hold(); // 수도's ranking; 대한민국 has one spelling, nothing to ask
    auto editor = fake->openEditor(text, {0, text.size()});
    ASSERT_TRUE(pressShowsList());
    press(kDigit1);
    ASSERT_TRUE(panel.model().isLoading());
    for (quint16 key : {kBackspace, kSpace, kDigit2}) EXPECT_EQ(press(key), true);
    EXPECT_TRUE(panel.isVisible());
    model->release();
    ASSERT_TRUE(spinUntil([&] { return replacedPosts > 0 && coordinator.settled(); }));
    EXPECT_EQ(editor->text, "대한민국의 수도(水道)는 서울이다");
}

TEST_F(SentenceSession, EscapeOrEverythingSkippedWritesNothingAndAltOnTheLastStepCopies)
{
    auto editor = fake->openEditor(text, {0, text.size()});
    for (const QList<quint16>& keys : {QList<quint16>{kDigit1, kEscape}, QList<quint16>{kSpace, kSpace}}) {
        ASSERT_TRUE(pressShowsList());
        for (quint16 key : keys) press(key);
        EXPECT_FALSE(panel.isVisible());
    }
    ASSERT_TRUE(pressShowsList());
    press(kDigit1, ModifierFlag::option); // not the last step: a pick
    press(kDigit1, ModifierFlag::option);
    EXPECT_EQ(fake->pasteboard->text(), "대한민국(大韓民國)의 수도(首都)는 서울이다");
    EXPECT_TRUE(panel.isNotice());
    spinUntil([] { return false; });
    EXPECT_EQ(editor->text, text);
    EXPECT_EQ(replacedPosts, 0);
    EXPECT_EQ(PickHistory::shared().count(), 2) << "a copy is a pick too";
}

TEST_F(SentenceSession, ASelectionThatChangedMeanwhileIsNotWrittenOver)
{
    auto editor = fake->openEditor(text, {0, text.size()});
    ASSERT_TRUE(pressShowsList());
    press(kDigit1);
    editor->selection = {0, 5};
    press(kDigit1);
    ASSERT_TRUE(spinUntil([&] { return noticeShown(Coordinator::appChangedNotice); }));
    EXPECT_EQ(editor->text, text);
    EXPECT_EQ(replacedPosts, 0);
}
