#include "core/dictionary/HanjaDictionary.h"

#include "base/Log.h"

#include "TestSupport.h"


#include <gtest/gtest.h>

#include <thread>
#include <vector>

using TestSupport::DataDir;
using TestSupport::logNames;

namespace {

std::optional<HanjaDictionary::Split> splitPair(const QString& stem, const QString& rest)
{
    return HanjaDictionary::Split{stem, rest};
}

} // namespace

TEST(HanjaDictionaryTest, SplitFindsTheDictionaryWordAtTheStart)
{
    HanjaDictionary dict(HanjaDictionary::Texts{"가나\t佳那\n가나다\t加那多\n가나다라\t加那多羅\n"
                                                "마바\t麻婆\n마바사\t麻婆沙\n"
                                                "한\t韓\n"
                                                "수도\t首都\n수\t首\n",
                                                "가나\t佳那\t5\n수도\t首都\t1\n"});

    EXPECT_EQ(dict.split("가나다라마"), splitPair("가나", "다라마")) << "a scored shorter word beats unscored longer ones";
    EXPECT_EQ(dict.split("마바사아"), splitPair("마바사", "아")) << "without scores the longest wins";
    EXPECT_EQ(dict.split("수도"), splitPair("수도", "")) << "the whole text first, even with a shorter key";
    EXPECT_EQ(dict.split("수도를"), splitPair("수도", "를"));
    EXPECT_EQ(dict.split("가나!? a"), splitPair("가나", "!? a")) << "the rest is kept as it was";
    EXPECT_EQ(dict.split("한"), splitPair("한", ""));
    EXPECT_EQ(dict.split("한국"), std::nullopt) << "one-character prefixes are never stems";
    EXPECT_EQ(dict.split(""), std::nullopt);
    EXPECT_EQ(dict.split("없는말"), std::nullopt);
}

TEST(HanjaDictionaryTest, TextsCompareAsCanonicalEquivalents)
{
    // 樂 as the compatibility ideograph U+F914 composes to U+6A02.
    HanjaDictionary dict(HanjaDictionary::Texts{QString("수도\t首都\n낙원\t\uF914園\n락\t\uF914\t즐길 락\n").toUtf8()});
    const QString decomposed = QString("수도를").normalized(QString::NormalizationForm_D);
    ASSERT_NE(decomposed, QString("수도를"));
    EXPECT_EQ(dict.split(decomposed), splitPair("수도", "를"));
    EXPECT_EQ(dict.charGloss(u"\uF914"), "즐길 락");
    EXPECT_EQ(HanjaEntry("낙원", "\uF914園"), dict.candidates("낙원")[0]);
}

TEST(HanjaDictionaryTest, MissingFilesAreLoggedAndRetried)
{
    DataDir dir;
    Log::Collector log;
    HanjaDictionary dict(dir.path());
    EXPECT_TRUE(dict.candidates("수도").isEmpty());
    EXPECT_TRUE(logNames(log, {"hanja.tsv"}));

    dir.write("hanja.tsv", "수도\t首都\n");
    EXPECT_EQ(dict.candidates("수도").size(), 1) << "a failed load is tried again";
    log.clear();
    dict.loadIfNeeded();
    EXPECT_TRUE(log.lines().isEmpty()) << "a loaded dictionary reads and logs nothing";
}

// Invalid UTF-8 and the other parse rules are the dictionary fuzz target's, on its seeds.
TEST(HanjaDictionaryTest, ConcurrentFirstUseLoadsOnceAndNeverSeesHalfAMap)
{
    DataDir dir;
    QByteArray big;
    for (int i = 0; i < 20000; ++i) big += QString("단어%1\t字%1\n").arg(i).toUtf8();
    big += "수도\t首都\n";
    dir.write("hanja.tsv", big);
    Log::Collector log;
    HanjaDictionary dict(dir.path());
    std::vector<std::thread> threads;
    std::atomic<int> found{0};
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&] {
            if (dict.candidates("수도").size() == 1 && dict.keyCount() == 20001) ++found;
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(found.load(), 8);
    EXPECT_EQ(log.count("dictionary loaded"), 1);
}

TEST(HanjaDictionaryTest, ARestThatIsNoEndingGivesWayToAWordWithAKnownEnding)
{
    const QByteArray dictionary = "사회\t社會\n사회부\t社會部\n사고\t事故\n사고가\t思考家\n정치\t政治\n정치가\t政治家\n"
                                  "환경\t環境\n환경처\t環境處\n가나다\t加那多\n반지\t斑指\n반지름\t半지름\n교육\t敎育\n"
                                  "교육대\t敎育隊\n대장\t大將\n완전\t完全\n완전히\t完全히\n구\t區\n";
    const QByteArray table = "사회부\t社會部\t5\n사고\t事故\t9\n환경처\t環境處\t2\n반지\t斑指\t5\n교육\t敎育\t9\n"
                             "완전\t完全\t9\n";
    const QByteArray endings = "# rest\tuses\n부터\t10\n처럼\t8\n가\t30\n를\t20\n은\t30\n장\t5\n";
    HanjaDictionary dict(HanjaDictionary::Texts{dictionary, table, endings});
    EXPECT_EQ(dict.split("사회부터"), splitPair("사회", "부터")) << "터 begins no ending";
    EXPECT_EQ(dict.split("사회부를"), splitPair("사회부", "를")) << "a rest that may be an ending keeps the rule";
    EXPECT_EQ(dict.split("사회부킹"), splitPair("사회부", "킹")) << "no shorter word with a known ending: the rule stands";
    // A rest that is no known ending gives way to a longer word with one, or with nothing after it.
    EXPECT_EQ(dict.split("반지름은"), splitPair("반지름", "은"));
    EXPECT_EQ(dict.split("완전히"), splitPair("완전히", ""));
    EXPECT_EQ(dict.split("교육대장"), splitPair("교육", "대장")) << "a word follows: a compound, not an ending";
    EXPECT_EQ(dict.split("반지름킹"), splitPair("반지", "름킹")) << "no longer word with a known ending";
    // A one-character word is no stem of split; a press still reads it before a known ending.
    EXPECT_EQ(dict.split("구를"), std::nullopt);
    EXPECT_EQ(dict.syllableSplit("구를"), splitPair("구", "를"));
    EXPECT_EQ(dict.syllableSplit("구킹"), std::nullopt);

    HanjaDictionary plain(HanjaDictionary::Texts{dictionary, table});
    EXPECT_EQ(plain.split("사회부터"), splitPair("사회부", "터")) << "without the list, the plain rule";
}

TEST(HanjaDictionaryTest, ARestThatIsMostlyALongerWordsEndGivesWayToThatWord)
{
    const QByteArray dictionary = "기린\t麒麟\n기린도\t麒麟島\n통상\t通商\n통상사\t通商司\n사고\t事故\n사고가\t思考家\n"
                                  "사회\t社會\n사회적\t社會的\n사회부\t社會部\n한국\t韓國\n";
    const QByteArray table = "기린\t麒麟\t9\n통상\t通商\t9\n사고\t事故\t9\n사회\t社會\t9\n한국\t韓國\t9\n";
    const QByteArray endings = "\t3000\t90\t0\n는\t500\t80\t0\n가\t400\t80\t0\n도\t300\t70\t0\n인\t200\t60\t0\n"
                               "적인\t100\t40\t0\n부터\t90\t40\t1\n도는\t2\t2\t1\n사\t3\t3\t1\n사가\t2\t2\t1\n";
    HanjaDictionary dict(HanjaDictionary::Texts{dictionary, table, endings});
    EXPECT_EQ(dict.split("기린도는"), splitPair("기린도", "는"));
    EXPECT_EQ(dict.split("통상사"), splitPair("통상사", "")) << "nothing after the longer word is an ending too";
    // Rests not marked keep the rule: a particle, an ending in its own right.
    EXPECT_EQ(dict.split("기린도"), splitPair("기린", "도"));
    EXPECT_EQ(dict.split("사회적인"), splitPair("사회", "적인"));
    // A marked rest needs the longer word, and a known ending or nothing after it.
    EXPECT_EQ(dict.split("한국사가"), splitPair("한국", "사가")) << "한국사 is no dictionary word";
    EXPECT_EQ(dict.split("사회부터"), splitPair("사회", "부터")) << "터 begins no ending: 社會部터 stays mended";

    // A list of three fields marks no rest.
    const QByteArray older = "\t3000\t90\n는\t500\t80\n도는\t2\t2\n사\t3\t3\n";
    HanjaDictionary olderList(HanjaDictionary::Texts{dictionary, table, older});
    EXPECT_EQ(olderList.split("기린도는"), splitPair("기린", "도는"));
    EXPECT_EQ(olderList.split("통상사"), splitPair("통상", "사"));
}

TEST(HanjaDictionaryTest, CompoundsTheDictionaryLacksAreMadeOfItsWords)
{
    const QByteArray dictionary = "부과\t賦課\n부과\t附過\n계수\t係數\n계수\t計數\n계수\t季嫂\n수도\t首都\n"
                                  "가림\t加林\n가림\t嘉林\n군\t君\n군\t郡\n군\t軍\n사회\t社會\n부\t部\n"
                                  "이\t李\n";
    const QByteArray table = "계수\t係數\t9\n계수\t計數\t5\n";
    // The empty rest: nouns with nothing after them.
    // 부와 is mostly a longer word's end (사회부 + 와): a word end.
    const QByteArray endings = "\t3000\n를\t500\n은\t500\n이\t900\n이었는데\t20\n부터\t300\n터\t2\n와\t400\n"
                               "부와\t40\t10\t1\n";
    // One sighting is worth 10 uses; 부 was seen as a part far less often than 부터 follows a noun.
    const QByteArray parts = "가림\t嘉林\t30\n군\t郡\t200\n군\t君\t10\n부\t部\t10\n이\t李\t10\n부과\t賦課\t10\n";
    HanjaDictionary dict(HanjaDictionary::Texts{dictionary, table, endings, parts});

    // The rows made of the parts, their order and rest, are the session's
    // (SessionFixture.ACompoundTheDictionaryLacksLeadsAndIsLearnedWhole).
    EXPECT_EQ(dict.compounds("부과계수", 1).size(), 1) << "nothing after it; the limit holds";

    // A one-syllable suffix seen in compounds ends one, and the parts' spellings follow their uses
    // there, not the dictionary's order.
    const auto county = dict.compounds("가림군이었는데");
    ASSERT_FALSE(county.isEmpty());
    EXPECT_EQ(county[0], (HanjaDictionary::Compound{"가림군", "嘉林郡", {"嘉林", "郡"}, "이었는데"}));
    EXPECT_EQ(dict.compounds("가림군이").value(0).rest, "이") << "이 reads likelier as the ending than as 李";
    EXPECT_EQ(dict.split("가림군"), splitPair("가림", "군")) << "the empty rest is no ending of the split";

    // No compound where the rest reads likelier as an ending, or where nothing follows the stem.
    EXPECT_TRUE(dict.compounds("사회부터").isEmpty()) << "부터 follows nouns far more than 部 ends compounds";
    EXPECT_TRUE(dict.compounds("부과를").isEmpty());
    EXPECT_EQ(dict.compounds("사회부와").value(0), (HanjaDictionary::Compound{"사회부", "社會部", {"社會", "部"}, "와"}))
        << "a word-end rest right after the stem is a last part and its ending, however rare the part";
    EXPECT_TRUE(dict.compounds("부과계수킹").isEmpty()) << "no known ending after the parts";
    EXPECT_TRUE(dict.compounds("수도").isEmpty());

    // A syllable's spelling follows its uses where it stands: at the end mostly a suffix (時),
    // before it something else (詩); a line that does not tell (no last column, or one beyond its
    // uses) counts as much at either place.
    const QByteArray placed = "국상\t國喪\t30\n시\t詩\t100\t0\n시\t時\t60\t60\n시\t市\t40\t70\n";
    HanjaDictionary byPlace(HanjaDictionary::Texts{"국상\t國喪\n시\t市\n시\t詩\n시\t時\n", table, endings, placed});
    EXPECT_EQ(byPlace.compounds("국상시를").value(0).hanja, "國喪時");
    EXPECT_EQ(byPlace.compounds("국상시국상은").value(0).hanja, "國喪詩國喪");
    EXPECT_EQ(byPlace.compounds("국상시를").value(1).hanja, "國喪市") << "市's 40 uses count at the end too";

    // The fewest parts read the text: a word common in running text is seldom annotated inside
    // compounds, so its syllables, seen as parts far more often, must not take it apart (新 + 廳).
    const QByteArray legal = "조정\t調整\n조정\t調停\n신청\t申請\n신청\t新晴\n신\t新\n청\t廳\n조서\t調書\n조서\t詔書\n"
                             "서\t書\n";
    const QByteArray legalParts = "신\t新\t2000\t0\n청\t廳\t1000\t1000\n서\t書\t300\t300\n조정\t調停\t30\t0\n";
    HanjaDictionary fewest(HanjaDictionary::Texts{legal, QByteArray(), endings, legalParts});
    EXPECT_EQ(fewest.compounds("조정신청").value(0).partsHanja, QStringList({"調停", "申請"}));
    EXPECT_EQ(fewest.compounds("조정신청조서를").value(0).hanja, "調停申請調書");

    // Without the parts table, none at all.
    HanjaDictionary noParts(HanjaDictionary::Texts{dictionary, table, endings});
    EXPECT_TRUE(noParts.compounds("부과계수를").isEmpty());
}

TEST(HanjaDictionaryTest, SeenCompoundsLeadTheCompoundRows)
{
    const QByteArray dictionary = "부과\t賦課\n부과\t附過\n계수\t係數\n계수\t計數\n계수\t季嫂\n이\t李\n신\t臣\n"
                                  "대한민국\t大韓民國\n영국\t英國\n영국\t寧國\n군\t軍\n군\t君\n";
    const QByteArray endings = "\t3000\n를\t500\n은\t500\n국\t5\n";
    const QByteArray parts = "부과\t賦課\t10\n";
    const QByteArray seen = "부과계수\t附過係數\t3\n부과계수\t賦課計數\t1\n부과계수\t賦課係數\t1\n이순신\t李舜臣\t56\n"
                            "이순신\t李純信\t5\n대한민\t大韓民\t9\n영국군\t寧國君\t1\n영국군\t英國軍\t1\n";
    HanjaDictionary dict(HanjaDictionary::Texts{dictionary, std::nullopt, endings, parts, seen});

    // Most seen first, spellings seen as often in the order the parts make them (係數 before 計數,
    // against the file), then the spellings made of the parts, without those already there.
    const auto found = dict.compounds("부과계수를");
    QStringList spellings;
    for (const HanjaDictionary::Compound& c : found) spellings.append(c.hanja);
    EXPECT_EQ(spellings, QStringList({"附過係數", "賦課係數", "賦課計數", "賦課季嫂"}));
    EXPECT_EQ(found.value(0), (HanjaDictionary::Compound{"부과계수", "附過係數", {"附過", "係數"}, "를"}))
        << "the dictionary words that spell it are its parts";
    EXPECT_EQ(dict.compounds("부과계수를", 1).size(), 2) << "the limit holds for each kind";
    EXPECT_EQ(dict.compounds("부과계수를", 2).value(1).hanja, "賦課係數") << "the tie is broken before the limit";
    // With no made compound (군 was never seen as a part), a tie goes by the parts' places in their
    // words: 英國 + 軍 (first and first) before 寧國 + 君 (second and second).
    const auto army = dict.compounds("영국군은");
    ASSERT_EQ(army.size(), 2);
    EXPECT_EQ(army[0], (HanjaDictionary::Compound{"영국군", "英國軍", {"英國", "軍"}, "은"}));

    // No dictionary word starts a name: the seen compound alone reads it, with a known ending or
    // nothing (SessionFixture.ACompoundAsWritersSpelledIt…), never with anything else.
    EXPECT_TRUE(dict.compounds("이순신킹").isEmpty()) << "no known ending after it";
    EXPECT_EQ(dict.compounds(QString("이순신은").normalized(QString::NormalizationForm_D)).value(0).hanja, "李舜臣");

    // A dictionary word that covers more of the text wins over a shorter seen compound.
    EXPECT_TRUE(dict.compounds("대한민국").isEmpty());
    EXPECT_EQ(dict.compounds("대한민은").value(0).hanja, "大韓民");
}

TEST(HanjaDictionaryTest, ASeenCompoundFollowsTheWordWhereTheTextReadsFarLikelierAsTheWordAndItsEnding)
{
    const QByteArray dictionary = "정신\t精神\n조선\t朝鮮\n일본\t日本\n영국\t英國\n보\t譜\n인\t人\n군\t軍\n";
    // 군 mostly ends a longer word (일본군은): a word end, no ending that competes.
    const QByteArray endings = "\t3000000\n다\t7000\n보다\t6500\n인\t150000\n은\t400000\n군\t5000\t10\t1\n";
    // Uses of the seen word per million uses of its dictionary word: 정신보 1,085, 조선인 70,666.
    const QByteArray seen = "정신보\t鄭臣保\t2\t1085\n조선인\t朝鮮人\t2\t70666\n조선인\t朝鮮印\t1\t70666\n"
                            "일본군\t日本軍\t8\t10\n정신대\t挺身隊\t4\n영국인\t英國人\t1\t16520\n";
    HanjaDictionary dict(HanjaDictionary::Texts{dictionary, std::nullopt, endings, std::nullopt, seen});

    // 정신 + 보다 (6,500) against 정신보 + 다 (1,085 per million of 정신's uses × 7,000): after the word.
    const auto rather = dict.compounds("정신보다");
    ASSERT_EQ(rather.size(), 1);
    EXPECT_EQ(rather[0], (HanjaDictionary::Compound{"정신보", "鄭臣保", {}, "다", true}));
    // Alone, 보 is no ending: the seen word is the one reading of the text.
    EXPECT_FALSE(dict.compounds("정신보").value(0).afterWord);
    // 조선인 bare: 70,666 per million × 3,000,000 uses of nothing after a noun, against 150,000 of 인.
    const auto people = dict.compounds("조선인");
    ASSERT_EQ(people.size(), 2);
    EXPECT_FALSE(people[0].afterWord || people[1].afterWord);
    // 영국 + 인 is likelier by the endings of all nouns (150,000 against 16,520 per million × 3,000,000,
    // 49,560), but not far likelier: a noun's own rate of an ending may be far below theirs.
    EXPECT_FALSE(dict.compounds("영국인").value(0).afterWord);
    // Rare as it is, 일본군 is read whole: 군 after 일본 is a word's end, not an ending.
    EXPECT_FALSE(dict.compounds("일본군은").value(0).afterWord);
    EXPECT_FALSE(dict.compounds("일본군").value(0).afterWord);
    // A line without a share: the word reads no other way.
    EXPECT_FALSE(dict.compounds("정신대").value(0).afterWord);
}

TEST(HanjaDictionaryTest, InACompoundAWordEndRestGivesWayToTheWordEndingInItsFirstSyllable)
{
    const QByteArray dictionary = "조선\t朝鮮\n후기\t後期\n후기\t後記\n후\t侯\n후\t後\n기\t期\n";
    // 기 after a noun is mostly a longer word's last syllable (후기, 시기): a word end.
    const QByteArray endings = "\t3000000\n기\t7500\t170\t1\n에\t450000\n";
    // 侯 ends many names (00侯); 후기 was never seen as a part.
    const QByteArray parts = "후\t侯\t100000\t99000\n조선\t朝鮮\t100\n";
    // Uses of 조선후 per million of 조선's: enough to win over 조선 + 후기 as parts alone would.
    const QByteArray seen = "조선후\t朝鮮侯\t3\t20000\n";
    HanjaDictionary made(HanjaDictionary::Texts{dictionary, std::nullopt, endings, parts});
    HanjaDictionary both(HanjaDictionary::Texts{dictionary, std::nullopt, endings, parts, seen});

    for (HanjaDictionary* dict : {&made, &both}) {
        const auto found = dict->compounds("조선후기");
        ASSERT_FALSE(found.isEmpty());
        EXPECT_EQ(found[0], (HanjaDictionary::Compound{"조선후기", "朝鮮後期", {"朝鮮", "後期"}, ""}))
            << "조선 + 후기, not 조선 + 후 侯 + 기";
        EXPECT_EQ(dict->compounds("조선후기에").value(0).hanja, "朝鮮後期");
    }
    // The seen word stays, after the word's own rows.
    const auto found = both.compounds("조선후기");
    ASSERT_EQ(found.last().hanja, "朝鮮侯");
    EXPECT_TRUE(found.last().afterWord);
    EXPECT_EQ(found.last().rest, "기");
    // Where 기 is a plain ending and 侯 a rare part, the made compound reads 조선 + 후기, and it and
    // the seen word are weighed by their uses.
    const QByteArray plain = "\t3000000\n기\t7500\n에\t450000\n";
    const QByteArray rare = "후\t侯\t10\t10\n";
    for (const auto& [share, first] : {std::pair{"100", "朝鮮後期"}, std::pair{"1000000", "朝鮮侯"}}) {
        const QByteArray line = QByteArray("조선후\t朝鮮侯\t3\t") + share + "\n";
        HanjaDictionary weighed(HanjaDictionary::Texts{dictionary, std::nullopt, plain, rare, line});
        EXPECT_EQ(weighed.compounds("조선후기").value(0).hanja, first) << share;
    }
    // Where no word ends in its first syllable, a word-end rest is the seen word's ending.
    HanjaDictionary noWord(HanjaDictionary::Texts{"조선\t朝鮮\n후\t侯\n", std::nullopt, endings, parts, seen});
    EXPECT_FALSE(noWord.compounds("조선후기").value(0).afterWord);
}
