// Reading Hanja in a selection: the pieces, the rules of a character's place, and the annotated
// forms written back, on a small dictionary whose lines say what each case needs.
#include "core/ReadingText.h"
#include "core/dictionary/DictionaryIndex.h"
#include "core/dictionary/ReadingIndex.h"

#include <gtest/gtest.h>

namespace {

// 女 and 勞 are listed both ways, as libhangul lists them; 女子, 男女, 勞動, 勤勞 are no words here,
// so they are read by their characters. 音樂 and 快樂 are words: 樂 reads as each word does.
const QByteArray kDictionary = "녀\t女\t계집 녀\n여\t女\t계집 녀\n남\t男\t사내 남\n자\t子\t아들 자\n"
                               "로\t勞\t일할 로\n노\t勞\t일할 노\n동\t動\t움직일 동\n근\t勤\t부지런할 근\n"
                               "리\t李\t오얏 리\n이\t李\t오얏 리\n금\t金\t쇠 금\n김\t金\t성 김\n"
                               "악\t樂\t풍류 악\n락\t樂\t즐길 락\n요\t樂\t좋아할 요\n음\t音\t소리 음\n쾌\t快\t쾌할 쾌\n"
                               "음악\t音樂\t\n쾌락\t快樂\t\n수도\t首都\t\n수\t首\t머리 수\n도\t都\t도읍 도\n"
                               "비\t比\t\n률\t率\t\n율\t率\t\n불\t不\t\n부\t不\t\n년\t年\t해 년\n연\t年\t해 년\n"
                               "금고\t金庫\t\n부활\t復活\t\n복\t復\t\n부\t復\t\n";
const QByteArray kScores = "금\t金\t50\n김\t金\t10\n음악\t音樂\t100\n";

HanjaDictionary::Texts texts() { return HanjaDictionary::Texts(kDictionary, kScores); }

} // namespace

TEST(HanjaReadingTest, SelectionsReadAsTheirWordsAndCharactersWithTheRulesOfTheirPlace)
{
    HanjaDictionary dictionary(texts());
    struct Case {
        QString selected, plain;
        QStringList unknown = {};
    };
    const QList<Case> cases = {
        {"女子", "여자"}, {"男女", "남녀"},       // initial-sound rule at the start, the own reading after it
        {"勞動", "노동"}, {"勤勞", "근로"}, {"李", "이"},
        {"音樂", "음악"}, {"快樂", "쾌락"},       // the word's reading, not the character's likeliest
        {"金", "금"},                             // by the words and scores, not by file order
        {"比率", "비율"}, {"不動", "부동"}, {"不勤", "불근"},
        {"音\uF914", "음악"},                     // a compatibility ideograph reads as its unified form
        {"2024年 首都는, Seoul 3號", "2024년 수도는, Seoul 3號", {"號"}}, // kept: Latin, digits, the unknown
        {"首都㐀는", "수도㐀는", {"㐀"}},
    };
    for (const Case& c : cases) {
        const ReadingText::Reading r = ReadingText::read(c.selected, dictionary);
        EXPECT_EQ(ReadingText::write(r, ReadingText::Form::hangul), c.plain) << c.selected.toStdString();
        EXPECT_EQ(r.unknown, c.unknown) << c.selected.toStdString();
    }
    // Hanja are written back as they were selected.
    EXPECT_EQ(ReadingText::write(ReadingText::read("音\uF914은", dictionary), ReadingText::Form::hanjaParenHangul), "音\uF914(음악)은");
}

TEST(HanjaReadingTest, AnAmbiguousCharacterOffersItsOtherReadings)
{
    HanjaDictionary dictionary(texts());
    const ReadingText::Reading r = ReadingText::read("金과 樂", dictionary);
    ASSERT_EQ(r.words.size(), 2);
    EXPECT_EQ(ReadingText::write(r, ReadingText::Form::hangul), "금과 악");
    EXPECT_EQ(ReadingText::writeAlternative(r, 0, 0, 1), "김과 악");
    QStringList others;
    for (int k = 1; k < r.words[1].pieces[0].readings.size(); ++k) others << ReadingText::writeAlternative(r, 1, 0, k);
    EXPECT_TRUE(others.contains("금과 락") && others.contains("금과 요")) << others.join(' ').toStdString();
}

TEST(HanjaReadingTest, AnnotationsAreWrittenInEachForm)
{
    HanjaDictionary dictionary(texts());
    using F = ReadingText::Form;
    struct Case {
        QString selected;
        F form;
        QString written;
    };
    const QList<Case> cases = {
        {"수도(首都)는", F::hangul, "수도는"},
        {"수도(首都)는", F::hanjaParenHangul, "首都(수도)는"},
        {"수도(首都)는", F::hanjaOnly, "首都는"},
        {"首都(수도)는", F::hangulParenHanja, "수도(首都)는"},
        {"首都는", F::hangulParenHanja, "수도(首都)는"},
        // The writer's reading stands, whatever the dictionary says; every annotation switches.
        {"대한민국 수도(首都)와 부활(復活), 金(김)", F::hanjaOnly, "대한민국 首都와 復活, 金"},
        {"대한민국 수도(首都)와 부활(復活), 金(김)", F::hangul, "대한민국 수도와 부활, 김"},
        {"首都(서울)", F::hangul, "수도(서울)"}, // no annotation: the Hangul does not read it
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadingText::write(ReadingText::read(c.selected, dictionary), c.form), c.written) << c.selected.toStdString();
}

TEST(HanjaReadingTest, TheReadingIndexIsReadInPlaceOnlyForItsOwnFiles)
{
    const ReadingIndex::Files files{kDictionary, kScores, std::nullopt};
    const QByteArray index = ReadingIndex::build(files);
    auto keep = std::make_shared<QByteArray>(index);
    const DictionaryIndex::Reading read = DictionaryIndex::read(*keep, keep, ReadingIndex::sourcesOf(files));
    ASSERT_TRUE(read.data);
    const auto key = read.data->findKey(u"音樂");
    ASSERT_TRUE(key);
    EXPECT_EQ(read.data->entry(key, key.part->entries[key.key->firstEntry()]).hanja().toString(), QStringLiteral("음악"));
    const ReadingIndex::Files otherSeen{kDictionary, kScores, QByteArrayView("수도교\t首都橋\t3\n")};
    EXPECT_FALSE(DictionaryIndex::read(*keep, keep, ReadingIndex::sourcesOf(otherSeen)).data);
}
