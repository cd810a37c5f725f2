#include "core/LanguageModels.h"
#include "core/RankEngine.h"
#include "core/Ranker.h"
#include "support/FakeLanguageModel.h"
#include "TestSupport.h"

#include <QJsonArray>

#include <gtest/gtest.h>

namespace {

using TestSupport::pool;
const auto answer = TestSupport::pickJson;

// Installs a fake model as the shared one for the length of a test.
struct WithModel {
    std::shared_ptr<FakeLanguageModel> model = std::make_shared<FakeLanguageModel>();
    WithModel()
    {
        TestSupport::freshDefaults();
        LanguageModels::setShared(model);
    }
    ~WithModel() { LanguageModels::setShared(nullptr); }
};

QList<RankedCandidate> rank(const QList<HanjaEntry>& candidates, const QString& context = "그 나라의 수도는", int limit = 3)
{
    return QCoro::waitFor(Ranker::rank("수도", candidates, context, limit));
}

RankedCandidate plain(const HanjaEntry& e) { return RankedCandidate{e, QString(), QString()}; }

} // namespace

// The schema itself goes to a real server in the model tier; here, which answers are read.
TEST(RankerTest, PickAnswersConvertBackOnlyWhenWellFormed)
{
    const auto pick = Ranker::Pick::fromJson(answer({2, 0}, "이유", {"뜻"}));
    ASSERT_TRUE(pick);
    EXPECT_EQ(pick->indices, (QList<qint64>{2, 0}));
    EXPECT_FALSE(Ranker::Pick::fromJson(QJsonObject{{"indices", QJsonArray{1}}, {"reason", "r"}}));
    EXPECT_FALSE(Ranker::Pick::fromJson(answer({1.5}, "r", {})));
    EXPECT_FALSE(Ranker::Pick::fromJson(answer({"1"}, "r", {})));
    EXPECT_FALSE(Ranker::Pick::fromJson(answer({1}, "r", {3})));
    EXPECT_FALSE(Ranker::Pick::fromJson(QJsonObject{{"indices", 1}, {"reason", "r"}, {"meanings", QJsonArray{}}}));
}

// A model that is there but unavailable: OpenAiCompatibleModelTest.AvailabilityNeedsAListedModel….
TEST(RankerTest, WithoutAModelTheFrequencyOrderIsCutToTheLimit)
{
    TestSupport::freshDefaults();
    LanguageModels::setShared(nullptr);
    EXPECT_EQ(rank(pool(4)), (QList<RankedCandidate>{plain(pool(4)[0]), plain(pool(4)[1]), plain(pool(4)[2])}));
    EXPECT_EQ(QCoro::waitFor(engineInForce()), RankEngine::frequency);
}

TEST(RankerTest, FewerThanTwoCandidatesNeverReachTheModel)
{
    WithModel with;
    EXPECT_TRUE(rank({}).isEmpty());
    EXPECT_EQ(rank(pool(1)), (QList<RankedCandidate>{plain(pool(1)[0])}));
    EXPECT_EQ(with.model->availabilityChecks(), 0);
    EXPECT_TRUE(with.model->requests().isEmpty());
}

TEST(RankerTest, PromptAsSent)
{
    WithModel with;
    with.model->queueStructured(answer({0}, "r", {}));
    rank(pool(13), "");
    ASSERT_EQ(with.model->requests().size(), 1);
    const FakeLanguageModel::Request& request = with.model->requests().first();
    // Twelve numbered spellings at most, Hanja only; an empty context keeps its heading.
    EXPECT_EQ(request.prompt,
              "문맥:\n\n\n단어: 수도\n\n후보:\n0. 首都\n1. 修道\n2. 囚徒\n3. 隨道\n4. 水稻\n5. 受渡\n6. 水道\n7. 手刀\n"
              "8. 修到\n9. 需導\n10. 首途\n11. 隧道\n\n문맥에 가장 알맞은 후보 번호를 알맞은 순서대로 최대 3개 고르세요.");
}

// The model's choices first, their meanings trimmed, then the pool: the model-answer fuzz target's,
// against its own merge. Equal pool entries, which its pool never holds, are passed over by the fill-up.
TEST(RankerTest, EqualPoolEntriesAreOfferedOnce)
{
    WithModel with;
    const QList<HanjaEntry> p = pool(2);
    const QList<HanjaEntry> twins = {p[0], p[0], p[1]};
    with.model->queueStructured(answer({0}, "이유", {}));
    EXPECT_EQ(rank(twins), (QList<RankedCandidate>{{p[0], "이유", ""}, plain(p[1])}));
}

TEST(RankerTest, AnAnswerThatCannotBeACorrectionOfTheTextIsNotOffered)
{
    WithModel with;
    const QString text = "잘 됬어요", context = "어제 그일이 잘 됬어요 정말로.";
    const QString tooShortText = "오늘은 날씨가 좋네요 정말로 좋아요. 내일도 맑겠지요.";
    const struct {
        const char* what;
        QString text, answer;
    } refused[] = {
        {"the prompt echoed", text, "앞뒤 문맥:\n" + context + "\n\n고칠 텍스트:\n" + text},
        {"the text's heading kept", text, "고칠 텍스트: 잘 됐어요"},
        {"the whole context corrected", text, "어제 그 일이 잘 됐어요 정말로."},
        {"an explanation added", text, "잘 됐어요\n\n'됬어요'는 '되었어요'의 준말이므로 '됐어요'로 써야 맞습니다."},
        {"a little over twice as long (39 jamo for 11)", text, "잘 됐어요 그리고 또 잘 됐어요 네 네"},
        {"most of the text gone", tooShortText, "오늘은 날씨가"},
    };
    for (const auto& c : refused) {
        with.model->queueText(c.answer);
        EXPECT_EQ(QCoro::waitFor(Ranker::cleanTypos(c.text, c.text == text ? context : c.text)), std::nullopt) << c.what;
    }

    // Real corrections that change the length or repeat what the context also holds.
    const struct {
        QString text, context, answer;
    } offered[] = {
        {"아버지가방에들어가신다", "", "아버지가 방에 들어가신다"},
        // Loose jamo become a third as many syllables.
        {"ㅂㅏㄺㅇㅡㄴ ㅎㅐㅅㅅㅏㄹ ㅅㅗㄱ ㅁㅏㄺㅇㅡㄴ ㄱㅏㅇㅁㅜㄹㅇㅡㄹ ㄱㅓㄴㄴㅓㅆㅅㅡㅂㄴㅣㄷㅏ "
         "ㄴㅡㅈㅇㅡㄴ ㅂㅏㅁ ㄱㅣㄹㅇㅡㄹ ㄱㅓㄷㄴㅡㄴ ㅁㅏㄶㅇㅡㄴ ㅎㅏㄱㅅㅐㅇㄷㅡㄹ",
         "", "밝은 햇살 속 맑은 강물을 건넜습니다 늦은 밤 길을 걷는 많은 학생들"},
        {"정말 잘 됬어요", "정말 잘 됬어요 정말", "정말 잘 됐어요"},
        {"고칠 텍스트: 됬다", "", "고칠 텍스트: 됐다"},
    };
    for (const auto& c : offered) {
        with.model->queueText(c.answer);
        EXPECT_EQ(QCoro::waitFor(Ranker::cleanTypos(c.text, c.context)), std::optional<QString>(c.answer))
            << c.text.toStdString();
    }
}

// How picks and a model's choice arrange the rows is the session's (SessionFixture's
// HistoryDecidesTheTopOnlyWithoutAModel and AFailingModelShowsFrequency…); here, at most 40 rows,
// the ranked top first and never repeated.
TEST(RankerTest, MergeKeepsTheRankedTopAndFortyRows)
{
    QList<HanjaEntry> many;
    for (int i = 0; i < 50; ++i) many.append(HanjaEntry("가", QString(QChar(0x4E00 + i)), QString()));
    const QList<HanjaEntry> merged = Ranker::merge({plain(many[45]), plain(many[3])}, many);
    EXPECT_EQ(merged.size(), 40);
    EXPECT_EQ(merged[0], many[45]);
    EXPECT_EQ(merged[1], many[3]);
    EXPECT_EQ(merged[2], many[0]);
    EXPECT_EQ(merged[39], many[38]);
    EXPECT_EQ(std::count(merged.begin(), merged.end(), many[3]), 1);
}
