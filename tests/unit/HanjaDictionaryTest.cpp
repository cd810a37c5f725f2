#include "core/HanjaDictionary.h"
#include "core/Log.h"

#include "TestSupport.h"

#include <QThread>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using TestSupport::DataDir;

namespace {

QStringList hanjaOf(const QList<HanjaEntry>& entries)
{
    QStringList out;
    for (const HanjaEntry& e : entries) out.append(e.hanja().toString());
    return out;
}

std::optional<HanjaDictionary::Split> splitPair(const QString& stem, const QString& rest)
{
    return HanjaDictionary::Split{stem, rest};
}

} // namespace

TEST(HanjaDictionaryTest, DictionaryLinesFollowTheParseRules)
{
    DataDir dir;
    dir.write("hanja.tsv",
              "수도\t首都\n"
              "가\t\t뜻\n"
              "no tab here\n"
              "\n"
              "#주석\t註釋\n"
              "중복\t重複\t같은 줄\n"
              "중복\t重複\t같은 줄\n"
              "넷째\t四\t뜻\t버리는 칸\n"
              "끝탭\t末\t\n");
    HanjaDictionary dict(dir.path());

    const auto sudo = dict.candidates("수도");
    ASSERT_EQ(sudo.size(), 1);
    EXPECT_EQ(sudo[0], HanjaEntry("수도", "首都", ""));

    const auto ga = dict.candidates("가");
    ASSERT_EQ(ga.size(), 1);
    EXPECT_TRUE(ga[0].hanja().isEmpty());
    EXPECT_EQ(ga[0].meaning(), u"뜻");

    EXPECT_EQ(dict.candidates("#주석").size(), 1) << "a '#' line with a TAB is an ordinary entry";
    const auto dup = dict.candidates("중복");
    ASSERT_EQ(dup.size(), 2);
    EXPECT_EQ(dup[0], dup[1]);
    EXPECT_EQ(dict.candidates("넷째")[0].meaning(), u"뜻");
    EXPECT_TRUE(dict.candidates("끝탭")[0].meaning().isEmpty());
    EXPECT_TRUE(dict.candidates("no tab here").isEmpty());
    EXPECT_EQ(dict.keyCount(), 6);
}

TEST(HanjaDictionaryTest, FirstUsableSingleCharacterLineGivesTheGloss)
{
    DataDir dir;
    dir.write("hanja.tsv",
              "수\t首\t머리 수, 우두머리 수\n"
              "수\t首\t다른 뜻\n"
              "도\t都\t, 도읍 도\n"
              "도\t道\t ,  ,\n"
              "도\t道\t길 도\n"
              "수도\t首都\t서울\n"
              "가\t家\t\n"
              "가\t家\t\t집 가\n");
    HanjaDictionary dict(dir.path());
    EXPECT_EQ(dict.charGloss(u"首"), "머리 수");
    EXPECT_EQ(dict.charGloss(u"都"), "도읍 도");
    EXPECT_EQ(dict.charGloss(u"道"), "길 도") << "a blank meaning leaves the character open";
    EXPECT_EQ(dict.charGloss(u"首都"), "") << "multi-character spellings never gloss";
    EXPECT_EQ(dict.charGloss(u"家"), "");
    EXPECT_EQ(dict.glossCount(), 3);
}

TEST(HanjaDictionaryTest, ScoreLinesFollowTheParseRules)
{
    DataDir dir;
    dir.write("hanja.tsv",
              "수도\t修道\n수도\t水道\n수도\t首都\n수도\t囚徒\n수도\t手刀\n"
              "사고\t思考\n사고\t事故\n");
    dir.write("hanja_freq.tsv",
              "# 수도\t手刀\t100\n"
              "수도\t\t首都\t12\n"       // empty fields dropped
              "수도\t修道\t30\t4\n"      // four fields
              "수도\t水道\tabc\n"        // not a number
              "수도\t囚徒\t 70\n"        // blanks around the number
              "사고\t事故\t1\n"
              "사고\t事故\t9\n"          // last one wins
              "사고\t思考\t5\n"
              "없는\t無\t3\n");          // stored, never matches
    Log::Capture log;
    HanjaDictionary dict(dir.path());
    EXPECT_EQ(hanjaOf(dict.candidates("수도")), QStringList({"首都", "修道", "水道", "囚徒", "手刀"}));
    EXPECT_EQ(hanjaOf(dict.candidates("사고")), QStringList({"事故", "思考"}));
    EXPECT_EQ(dict.scoreCount(), 4);
    EXPECT_TRUE(log.contains("[Sorelwick] dictionary loaded: 2 keys, 0 char glosses, 4 word scores"));
}

TEST(HanjaDictionaryTest, CandidatesOrderByScoreStablyAndOnlyWhenItMayReorder)
{
    DataDir dir;
    dir.write("hanja.tsv",
              "가\t加\n가\t家\n가\t歌\n"
              "부자\t父子\n부자\t富者\n부자\t不在\n부자\t附子\n"
              "외톨\t孤\n"
              "무점\t無\n무점\t務\n");
    dir.write("hanja_freq.tsv",
              "가\t歌\t100\n"          // one-character words keep file order
              "부자\t附子\t50\n"
              "부자\t不在\t7\n"
              "부자\t父子\t0\n"         // zero ties with no score
              "외톨\t孤\t9\n");
    HanjaDictionary dict(dir.path());
    EXPECT_EQ(hanjaOf(dict.candidates("가")), QStringList({"加", "家", "歌"}));
    EXPECT_EQ(hanjaOf(dict.candidates("부자")), QStringList({"附子", "不在", "父子", "富者"}));
    EXPECT_EQ(hanjaOf(dict.candidates("무점")), QStringList({"無", "務"}));
    EXPECT_EQ(hanjaOf(dict.candidates(" 부자\n")), hanjaOf(dict.candidates("부자")));
    EXPECT_EQ(dict.candidates("외톨").size(), 1);
    EXPECT_TRUE(dict.candidates("없음").isEmpty());
}

TEST(HanjaDictionaryTest, SplitFindsTheDictionaryWordAtTheStart)
{
    DataDir dir;
    dir.write("hanja.tsv",
              "가나\t佳那\n가나다\t加那多\n가나다라\t加那多羅\n"
              "마바\t麻婆\n마바사\t麻婆沙\n"
              "한\t韓\n"
              "수도\t首都\n수\t首\n");
    dir.write("hanja_freq.tsv", "가나\t佳那\t5\n수도\t首都\t1\n");
    HanjaDictionary dict(dir.path());

    EXPECT_EQ(dict.split("가나다라마"), splitPair("가나", "다라마")) << "a scored shorter word beats unscored longer ones";
    EXPECT_EQ(dict.split("마바사아"), splitPair("마바사", "아")) << "without scores the longest wins";
    EXPECT_EQ(dict.split("마바사"), splitPair("마바사", ""));
    EXPECT_EQ(dict.split("수도"), splitPair("수도", "")) << "the whole text first, even with a shorter key";
    EXPECT_EQ(dict.split("수도를"), splitPair("수도", "를"));
    EXPECT_EQ(dict.split("가나!? a"), splitPair("가나", "!? a")) << "the rest is kept as it was";
    EXPECT_EQ(dict.split("한"), splitPair("한", ""));
    EXPECT_EQ(dict.split("한국"), std::nullopt) << "one-character prefixes are never stems";
    EXPECT_EQ(dict.split("국"), std::nullopt);
    EXPECT_EQ(dict.split(""), std::nullopt);
    EXPECT_EQ(dict.split("없는말"), std::nullopt);
}

TEST(HanjaDictionaryTest, TextsCompareAsCanonicalEquivalents)
{
    DataDir dir;
    // 樂 as the compatibility ideograph U+F914 composes to U+6A02.
    dir.write("hanja.tsv", QString("수도\t首都\n낙원\t\uF914園\n락\t\uF914\t즐길 락\n").toUtf8());
    HanjaDictionary dict(dir.path());
    const QString decomposed = QString("수도를").normalized(QString::NormalizationForm_D);
    ASSERT_NE(decomposed, QString("수도를"));
    const auto split = dict.split(decomposed);
    ASSERT_TRUE(split);
    EXPECT_EQ(split->stem, "수도");
    EXPECT_EQ(split->rest, "를");
    EXPECT_EQ(dict.candidates(QString("수도").normalized(QString::NormalizationForm_D)).size(), 1);
    EXPECT_EQ(dict.candidates("낙원")[0].hanja(), u"\u6A02園");
    EXPECT_EQ(dict.charGloss(u"\uF914"), "즐길 락");
    EXPECT_EQ(HanjaEntry("낙원", "\uF914園"), dict.candidates("낙원")[0]);
}

TEST(HanjaDictionaryTest, MissingFilesAreLoggedAndRetried)
{
    DataDir dir;
    Log::Capture log;
    HanjaDictionary dict(dir.path());
    EXPECT_FALSE(dict.split("수도"));
    EXPECT_TRUE(dict.candidates("수도").isEmpty());
    EXPECT_EQ(log.count("[Sorelwick] hanja.tsv not found in bundle"), 2);
    EXPECT_FALSE(log.contains("dictionary loaded"));
    EXPECT_FALSE(dict.isLoaded());

    dir.write("hanja.tsv", "수도\t首都\n");
    log.clear();
    EXPECT_EQ(dict.candidates("수도").size(), 1) << "a failed load is tried again";
    const QStringList lines = log.lines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "[Sorelwick] hanja_freq.tsv not found in bundle");
    EXPECT_EQ(lines[1], "[Sorelwick] dictionary loaded: 1 keys, 0 char glosses, 0 word scores");

    log.clear();
    dict.loadIfNeeded();
    EXPECT_TRUE(log.lines().isEmpty()) << "a loaded dictionary reads and logs nothing";
}

TEST(HanjaDictionaryTest, InvalidUtf8CountsAsMissing)
{
    DataDir dir;
    dir.write("hanja.tsv", QByteArray("수도\t首都\n") + char(0xC3) + char(0x28) + "\n");
    Log::Capture log;
    HanjaDictionary dict(dir.path());
    EXPECT_FALSE(dict.isLoaded() || !dict.candidates("수도").isEmpty());
    EXPECT_TRUE(log.contains("hanja.tsv not found in bundle"));
}

TEST(HanjaDictionaryTest, ConcurrentFirstUseLoadsOnceAndNeverSeesHalfAMap)
{
    DataDir dir;
    QByteArray big;
    for (int i = 0; i < 20000; ++i) big += QString("단어%1\t字%1\n").arg(i).toUtf8();
    big += "수도\t首都\n";
    dir.write("hanja.tsv", big);
    Log::Capture log;
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

TEST(HanjaDictionaryTest, RealDataFindsTheCapitalWithItsEnding)
{
    qunsetenv("SORELWICK_DATA_DIR");
    HanjaDictionary dict(QStringLiteral(SORELWICK_BUILD_DATA_DIR));
    const auto split = dict.split("수도를");
    ASSERT_TRUE(split);
    EXPECT_EQ(split->stem, "수도");
    EXPECT_EQ(split->rest, "를");
    const auto entries = dict.candidates(split->stem);
    ASSERT_FALSE(entries.isEmpty());
    EXPECT_EQ(entries[0].hanja(), u"首都");
    EXPECT_GT(dict.keyCount(), 200000);
}
