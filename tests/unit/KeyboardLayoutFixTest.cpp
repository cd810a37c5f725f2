#include "KeyboardLayoutFixAccess.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using namespace Qt::StringLiterals;

using Fix = KeyboardLayoutFix;
using Access = KeyboardLayoutFixAccess;
using Kind = KeyboardLayoutFix::Suggestion::Kind;

std::optional<Fix::Suggestion> korean(const QString& text) { return Fix::Suggestion {Kind::korean, text}; }
std::optional<Fix::Suggestion> english(const QString& text) { return Fix::Suggestion {Kind::english, text}; }

std::optional<std::pair<qint64, qint64>> run(const QString& full, qint64 location, qint64 length)
{
    const auto r = Fix::typoRun(full, TextRange {location, length});
    if (!r)
        return std::nullopt;
    return std::pair {r->location, r->length};
}

TEST(KeyboardLayoutFix, keysForOneCharacter)
{
    EXPECT_EQ(Access::keys(u"ㅘ"_s), u"hk"_s);
    EXPECT_EQ(Access::keys(u"ㄳ"_s), u"rt"_s);
    EXPECT_EQ(Access::keys(u"ㄲ"_s), u"R"_s);
    // Not a jamo of the table, not a compound: unchanged.
    EXPECT_EQ(Access::keys(u"A"_s), u"A"_s);
    EXPECT_EQ(Access::keys(u"ㅥ"_s), u"ㅥ"_s);
    EXPECT_EQ(Access::keys(u"가"_s), u"가"_s);
    // The inverse table is exact: every key comes back from its jamo.
    const QString allKeys = u"qwertyuiopasdfghjklzxcvbnmQWERTOP"_s;
    for (QChar key : allKeys)
        EXPECT_EQ(Access::keys(QString(Access::jamoForKey(key.unicode()))), QString(key)) << key.toLatin1();
}

TEST(KeyboardLayoutFix, conversions)
{
    EXPECT_EQ(Fix::englishToKorean(u"dkssud gktpdy"_s), u"안녕 하세요"_s);
    EXPECT_EQ(Fix::englishToKorean(u"dkssud, 123!"_s), u"안녕, 123!"_s);
    EXPECT_EQ(Fix::englishToKorean(u"rrr"_s), std::nullopt);
    EXPECT_EQ(Fix::englishToKorean(u"123 !?"_s), std::nullopt);
    // A letter with a combining mark is one character and not a key.
    EXPECT_EQ(Fix::englishToKorean(u"rk\u0301rk"_s), u"ㄱk\u0301가"_s);
    // Uppercase letters without a shifted jamo are not keys: A stays A and splits the composition.
    EXPECT_EQ(Fix::englishToKorean(u"dkAssud"_s), u"아Aㄴ녕"_s);
    EXPECT_EQ(Fix::englishToKorean(u"DKSSUD"_s), std::nullopt);

    EXPECT_EQ(Fix::koreanToEnglish(u"ㅗ디ㅣㅐ"_s), u"hello"_s);
    // Shifted initial, compound vowel and compound final in one syllable: ㄲ ㅘ ㄺ and ㄲ ㅘ ㄿ.
    EXPECT_EQ(Fix::koreanToEnglish(u"\uAF51"_s), u"Rhkfr"_s);
    EXPECT_EQ(Fix::koreanToEnglish(u"\uAF56"_s), u"Rhkfv"_s);
    EXPECT_EQ(Fix::koreanToEnglish(u"ㄳㅘ"_s), u"rthk"_s);
    EXPECT_EQ(Fix::koreanToEnglish(u"ㅗ디ㅣㅐ, 재깅!"_s), u"hello, world!"_s);
    EXPECT_EQ(Fix::koreanToEnglish(u"abc 123"_s), std::nullopt);
    EXPECT_EQ(Fix::koreanToEnglish(u"ㅥ"_s), std::nullopt);
    // A mark sharing the syllable's character is kept, not lost.
    EXPECT_EQ(Fix::koreanToEnglish(u"가\u0301"_s), u"rk\u0301"_s);
}

TEST(KeyboardLayoutFix, wellFormedAtOneFifth)
{
    EXPECT_FALSE(Access::isWellFormed(u""_s));
    EXPECT_FALSE(Access::isWellFormed(u" \n\t"_s));
    EXPECT_FALSE(Access::isWellFormed(u"가가가가ㄸ"_s)); // exactly a fifth
    EXPECT_TRUE(Access::isWellFormed(u"가가가가가ㄸ"_s));
    // Blanks are not letters: four syllables and a jamo with spaces between are still a fifth.
    EXPECT_FALSE(Access::isWellFormed(u"가 가 가 가 ㄸ"_s));
    EXPECT_TRUE(Access::isWellFormed(u"1234"_s));

    EXPECT_EQ(Fix::suggest(u"rkrkrkrkE"_s), std::nullopt);
    EXPECT_EQ(Fix::suggest(u"rkrkrkrkrkE"_s), korean(u"가가가가가ㄸ"_s));
    EXPECT_EQ(Fix::suggest(u"rk rk rk rk E"_s), std::nullopt);
    EXPECT_EQ(Fix::suggest(u"rrr"_s), std::nullopt);
}

TEST(KeyboardLayoutFix, hangulOfferedFromThreeTenthsOfJamo)
{
    EXPECT_EQ(Fix::suggest(u"가나다라마바사ㅗㅗㅗ"_s), english(u"rkskekfkakqktkhhh"_s));
    EXPECT_EQ(Fix::suggest(u"가나다라마바사아ㅗㅗ"_s), std::nullopt);
    // Blanks count in neither figure.
    EXPECT_EQ(Fix::suggest(u"가나 다라 마바 사 ㅗㅗㅗ"_s), english(u"rksk ekfk akqk tk hhh"_s));
    EXPECT_EQ(Fix::suggest(u"안녕"_s), std::nullopt);
    EXPECT_EQ(Fix::suggest(u"ㅗ디ㅣㅐ"_s), english(u"hello"_s));
    EXPECT_EQ(Fix::suggest(u"ㅥㅥㅥ"_s), std::nullopt); // jamo that no key types

    // Decomposed syllables, as some applications and files hold them, count as the syllables they are.
    const auto decomposed = [](const QString& text) { return text.normalized(QString::NormalizationForm_D); };
    EXPECT_EQ(Fix::suggest(decomposed(u"ㅗ디ㅣㅐ 재깅"_s)), english(u"hello world"_s));
    EXPECT_EQ(Fix::suggest(decomposed(u"가나다라마바사ㅗㅗㅗ"_s)), english(u"rkskekfkakqktkhhh"_s));
    EXPECT_EQ(Fix::suggest(decomposed(u"가나다라마바사아ㅗㅗ"_s)), std::nullopt);
}

TEST(KeyboardLayoutFix, suggestTrimsAndRefusesMixes)
{
    EXPECT_EQ(Fix::suggest(u""_s), std::nullopt);
    EXPECT_EQ(Fix::suggest(u" \n\t "_s), std::nullopt);
    EXPECT_EQ(Fix::suggest(u"dkssud"_s), korean(u"안녕"_s));
    EXPECT_EQ(Fix::suggest(u"  dkssud\n"_s), korean(u"안녕"_s));
    EXPECT_EQ(Fix::suggest(u"\u3000dkssud\u3000"_s), korean(u"안녕"_s));
    EXPECT_EQ(Fix::suggest(u"dkssud gktpdy"_s), korean(u"안녕 하세요"_s));
    EXPECT_EQ(Fix::suggest(u"dkssud 안녕"_s), std::nullopt);
    EXPECT_EQ(Fix::suggest(u"ㅗ디ㅣㅐ world"_s), std::nullopt);
    EXPECT_EQ(Fix::suggest(u"123 !?"_s), std::nullopt);
}

TEST(KeyboardLayoutFix, typoRunWidensToTheWholeRun)
{
    const QString text = u"say ㅗ디ㅣㅐ now"_s;
    EXPECT_EQ(run(text, 5, 1), std::pair(qint64(4), qint64(4))); // one syllable inside
    EXPECT_EQ(run(text, 4, 1), std::pair(qint64(4), qint64(4))); // first unit
    EXPECT_EQ(run(text, 7, 1), std::pair(qint64(4), qint64(4))); // last unit
    EXPECT_EQ(run(text, 4, 4), std::nullopt); // already the whole run
    EXPECT_EQ(run(text, 3, 2), std::nullopt); // the space is not Hangul
    EXPECT_EQ(run(text, 1, 1), std::nullopt); // a Latin letter

    // The run may touch either end of the text; line breaks, punctuation and other planes bound it.
    EXPECT_EQ(run(u"ㅗ디ㅣㅐ"_s, 1, 2), std::pair(qint64(0), qint64(4)));
    EXPECT_EQ(run(u"a\nㅗ디ㅣㅐ."_s, 3, 1), std::pair(qint64(2), qint64(4)));
    EXPECT_EQ(run(u"\U0001F600ㅗ디ㅣㅐ"_s, 3, 1), std::pair(qint64(2), qint64(4)));
}

TEST(KeyboardLayoutFix, typoRunRefusesRealKoreanAndBadRanges)
{
    // Real Korean: the widened run has no jamo, or too few of them.
    EXPECT_EQ(run(u"저는 안녕하세요"_s, 4, 1), std::nullopt);
    EXPECT_EQ(run(u"안녕하세요ㅋ"_s, 5, 1), std::nullopt);
    // ㆍ between syllables is official text's middle dot, not a typed letter.
    EXPECT_EQ(run(u"산ㆍ학ㆍ연"_s, 0, 1), std::nullopt);
    // Several syllables without a jamo are not a typo worth widening.
    EXPECT_EQ(run(u"ㅗ디ㅣ디ㅐ"_s, 1, 1), std::pair(qint64(0), qint64(5)));
    EXPECT_EQ(run(u"ㅗ디디ㅣㅐ"_s, 1, 2), std::nullopt);

    // Empty, negative, overhanging or overflowing ranges.
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    for (const auto& [location, length] : {std::pair<qint64, qint64>{1, 0}, {1, -1}, {-1, 2}, {3, 2}, {4, 1}, {5, 1},
                                           {1, max}, {max, 1}}) {
        SCOPED_TRACE(testing::Message() << location << "+" << length);
        EXPECT_EQ(run(u"ㅗ디ㅣㅐ"_s, location, length), std::nullopt);
    }
    EXPECT_EQ(run(u""_s, 0, 1), std::nullopt);
}

} // namespace
