// The shipped frequency table on the shipped dictionary: where words end and which spelling comes
// first for words whose annotated reading is not the everyday one.

#include "core/dictionary/HanjaDictionary.h"

#include <gtest/gtest.h>

TEST(FrequencyTableTest, RealDataSplitsCommonFormsAndPutsTheEverydaySpellingFirst)
{
    HanjaDictionary dict(QStringLiteral(SORELWICK_BUILD_DATA_DIR));
    const struct {
        const char* text;
        const char* stem;
    } stems[] = {
        // A common noun keeps its particle even where noun + particle spells a rare dictionary word.
        {"사고가", "사고"},   // not 思考家
        {"학교의", "학교"},   // not 學校醫
        {"사실은", "사실"},   // not the mixed entry 事實은
        {"수도를", "수도"},
        // Longer words are not cut down to a scored prefix.
        {"건조물을", "건조물"}, {"정치가이다", "정치가"}, {"대학교에서", "대학교"}, {"감동적인", "감동적"},
        // A rest that no ending begins with gives way to the shorter noun and its particle.
        {"사회부터", "사회"},   // not 社會部 + 터
        {"교육부터", "교육"},
        {"환경처럼", "환경"},   // not 環境處 + 럼
        // A rest that is mostly a longer word's end gives way to it; endings in their own right stay.
        {"후반부에", "후반부"},   // not 後半 + 부에
        {"한국학", "한국학"}, {"결정적인", "결정"}, {"경제도", "경제"},
    };
    for (const auto& s : stems) {
        const auto split = dict.split(QString::fromUtf8(s.text));
        EXPECT_EQ(split ? split->stem : QString(), QString::fromUtf8(s.stem)) << s.text;
    }

    const struct {
        const char* word;
        const char* first;
    } spellings[] = {
        // Writers annotate the rare readings; the learner list and plain usage outweigh them.
        {"세계", "世界"}, {"당시", "當時"}, {"조사", "調査"}, {"사고", "事故"},
        {"수도", "首都"},   // not 修道, annotated 53 times to 14
        {"정부", "政府"}, {"시장", "市場"},
        {"전기", "電氣"},   // not 傳記 or 前期
        {"의사", "醫師"}, {"과정", "過程"},
        {"기자", "記者"},   // not 箕子
        {"포함", "包含"},   // not 砲艦
        // The word's uses bound its annotations: 父子 is annotated 53 times, 부자 occurs 1,510 times.
        {"부자", "富者"},
        // Annotations reorder words the learner list does not cover.
        {"역사", "歷史"}, {"조선", "朝鮮"},
        // Words the learner list does not cover, used far more than annotated: their compounds and
        // libhangul's order decide (한국어 韓國語, 대한민국 大韓民國, 원자력 原子力).
        {"한국", "韓國"},   // not 汗國
        {"대한", "大韓"},   // not 對韓
        {"원자", "原子"},   // not 元子
        {"당선", "當選"},   // not 唐船
        {"황제", "皇帝"},   // not 黃帝
        {"제도", "制度"},   // not 諸島
        // One-syllable words keep the dictionary file's order, which the build sorts by the table.
        {"전", "前"},   // 전(前) 대통령; libhangul lists 田 first
        {"대", "對"},   // 한국 대(對) 일본; libhangul lists 大 first
        {"반", "反"},   // libhangul lists 半 first
    };
    for (const auto& s : spellings)
        EXPECT_EQ(dict.candidates(QString::fromUtf8(s.word)).value(0).hanja().toString(), QString::fromUtf8(s.first))
            << s.word;
}
