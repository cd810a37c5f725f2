// The shipped frequency table on the shipped dictionary: where words end and which spelling comes
// first for words whose annotated reading is not the everyday one.

#include "core/dictionary/HanjaDictionary.h"

#include <gtest/gtest.h>

namespace {

HanjaDictionary& realData()
{
    static HanjaDictionary dict(QStringLiteral(SORELWICK_BUILD_DATA_DIR));
    return dict;
}

QString stemOf(const char* text)
{
    const auto split = realData().split(QString::fromUtf8(text));
    return split ? split->stem : QStringLiteral("(none)");
}

QString firstSpelling(const char* word)
{
    const auto entries = realData().candidates(QString::fromUtf8(word));
    return entries.isEmpty() ? QString() : entries[0].hanja().toString();
}

} // namespace

TEST(FrequencyTableTest, RealTableSplitsCommonFormsAndKeepsRealWordsWhole)
{
    // A common noun keeps its particle even where noun + particle spells a rare dictionary word.
    EXPECT_EQ(stemOf("사고가"), "사고");   // not 思考家
    EXPECT_EQ(stemOf("학교의"), "학교");   // not 學校醫
    EXPECT_EQ(stemOf("사실은"), "사실");   // not the mixed entry 事實은
    EXPECT_EQ(stemOf("수도를"), "수도");
    // Longer words are not cut down to a scored prefix.
    EXPECT_EQ(stemOf("건조물을"), "건조물");
    EXPECT_EQ(stemOf("정치가이다"), "정치가");
    EXPECT_EQ(stemOf("대학교에서"), "대학교");
    EXPECT_EQ(stemOf("감동적인"), "감동적");
    // A rest that no ending begins with gives way to the shorter noun and its particle.
    EXPECT_EQ(stemOf("사회부터"), "사회");   // not 社會部 + 터
    EXPECT_EQ(stemOf("교육부터"), "교육");
    EXPECT_EQ(stemOf("환경처럼"), "환경");   // not 環境處 + 럼
    // A rest that is mostly a longer word's end gives way to it; endings in their own right stay.
    EXPECT_EQ(stemOf("후반부에"), "후반부");   // not 後半 + 부에
    EXPECT_EQ(stemOf("한국학"), "한국학");
    EXPECT_EQ(stemOf("결정적인"), "결정");
    EXPECT_EQ(stemOf("경제도"), "경제");
}

TEST(FrequencyTableTest, RealTablePutsTheEverydaySpellingFirst)
{
    // Writers annotate the rare readings; the learner list and plain usage outweigh them.
    EXPECT_EQ(firstSpelling("세계"), u"世界");
    EXPECT_EQ(firstSpelling("당시"), u"當時");
    EXPECT_EQ(firstSpelling("조사"), u"調査");
    EXPECT_EQ(firstSpelling("사고"), u"事故");
    EXPECT_EQ(firstSpelling("수도"), u"首都");   // not 修道, annotated 53 times to 14
    EXPECT_EQ(firstSpelling("정부"), u"政府");
    EXPECT_EQ(firstSpelling("시장"), u"市場");
    EXPECT_EQ(firstSpelling("전기"), u"電氣");   // not 傳記 or 前期
    EXPECT_EQ(firstSpelling("의사"), u"醫師");
    EXPECT_EQ(firstSpelling("과정"), u"過程");
    EXPECT_EQ(firstSpelling("기자"), u"記者");   // not 箕子
    EXPECT_EQ(firstSpelling("포함"), u"包含");   // not 砲艦
    // The word's uses bound its annotations: 父子 is annotated 53 times, 부자 occurs 1,510 times.
    EXPECT_EQ(firstSpelling("부자"), u"富者");
    // Annotations reorder words the learner list does not cover.
    EXPECT_EQ(firstSpelling("역사"), u"歷史");
    EXPECT_EQ(firstSpelling("조선"), u"朝鮮");
    // Words the learner list does not cover, used far more than annotated: their compounds and
    // libhangul's order decide (한국어 韓國語, 대한민국 大韓民國, 원자력 原子力).
    EXPECT_EQ(firstSpelling("한국"), u"韓國");   // not 汗國
    EXPECT_EQ(firstSpelling("대한"), u"大韓");   // not 對韓
    EXPECT_EQ(firstSpelling("원자"), u"原子");   // not 元子
    EXPECT_EQ(firstSpelling("당선"), u"當選");   // not 唐船
    EXPECT_EQ(firstSpelling("황제"), u"皇帝");   // not 黃帝
    EXPECT_EQ(firstSpelling("제도"), u"制度");   // not 諸島
}

TEST(FrequencyTableTest, RealDictionaryListsASyllablesSpellingsAsWritersUseItAlone)
{
    // One-syllable words keep the dictionary file's order, which the build sorts by the table.
    EXPECT_EQ(firstSpelling("전"), u"前");   // 전(前) 대통령; libhangul lists 田 first
    EXPECT_EQ(firstSpelling("대"), u"對");   // 한국 대(對) 일본; libhangul lists 大 first
    EXPECT_EQ(firstSpelling("반"), u"反");   // libhangul lists 半 first
}
