// The shipped frequency table on the shipped dictionary: where words end and which spelling comes
// first for words whose annotated reading is not the everyday one.

#include "core/HanjaDictionary.h"

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
}

TEST(FrequencyTableTest, RealTablePutsTheEverydaySpellingFirst)
{
    // Writers annotate the rare readings; the learner list and plain usage outweigh them.
    EXPECT_EQ(firstSpelling("세계"), u"世界");
    EXPECT_EQ(firstSpelling("당시"), u"當時");
    EXPECT_EQ(firstSpelling("조사"), u"調査");
    EXPECT_EQ(firstSpelling("사고"), u"事故");
    // Annotations reorder words the learner list does not cover.
    EXPECT_EQ(firstSpelling("역사"), u"歷史");
    EXPECT_EQ(firstSpelling("조선"), u"朝鮮");
}
