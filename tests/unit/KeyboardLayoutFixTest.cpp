#include "core/KeyboardLayoutFix.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

using namespace Qt::StringLiterals;

using Fix = KeyboardLayoutFix;
using Kind = KeyboardLayoutFix::Suggestion::Kind;
using Widened = std::optional<std::pair<qint64, qint64>>;

std::optional<Fix::Suggestion> korean(const QString& text) { return Fix::Suggestion {Kind::korean, text}; }
std::optional<Fix::Suggestion> english(const QString& text) { return Fix::Suggestion {Kind::english, text}; }

Widened run(const QString& full, qint64 location, qint64 length)
{
    const auto r = Fix::typoRun(full, TextRange {location, length});
    if (!r)
        return std::nullopt;
    return std::pair {r->location, r->length};
}

// How keys compose is the libhangul cross-check's, and every key's jamo and back is the layout-fix
// fuzz target's round trip (its all-keys seed); here, what is not a key.
TEST(KeyboardLayoutFix, conversions)
{
    EXPECT_EQ(Fix::englishToKorean(u"dkssud, 123!"_s), u"안녕, 123!"_s);
    // A letter with a combining mark is one character and not a key.
    EXPECT_EQ(Fix::englishToKorean(u"rk\u0301rk"_s), u"ㄱk\u0301가"_s);
    // Uppercase letters without a shifted jamo are not keys: A stays A and splits the composition.
    EXPECT_EQ(Fix::englishToKorean(u"dkAssud"_s), u"아Aㄴ녕"_s);
    EXPECT_EQ(Fix::englishToKorean(u"DKSSUD"_s), std::nullopt);

    EXPECT_EQ(Fix::koreanToEnglish(u"ㄳㅘ"_s), u"rthk"_s);
    EXPECT_EQ(Fix::koreanToEnglish(u"ㅗ디ㅣㅐ, 재깅!"_s), u"hello, world!"_s);
    EXPECT_EQ(Fix::koreanToEnglish(u"abc 123"_s), std::nullopt);
    EXPECT_EQ(Fix::koreanToEnglish(u"ㅥ"_s), std::nullopt);
    // A mark sharing the syllable's character is kept, not lost.
    EXPECT_EQ(Fix::koreanToEnglish(u"가\u0301"_s), u"rk\u0301"_s);
}

// Hangul for keys while more than a fifth of its letters stay loose jamo is no offer; keys for
// Hangul are offered from three tenths of jamo. Blanks count in neither figure, and mixes are refused.
TEST(KeyboardLayoutFix, suggestionsAtTheirThresholdsTrimmedAndNeverForMixes)
{
    // Decomposed syllables, as some applications and files hold them, count as the syllables they are.
    const auto decomposed = [](const QString& text) { return text.normalized(QString::NormalizationForm_D); };
    const struct {
        QString text;
        std::optional<Fix::Suggestion> offered;
    } rows[] = {
        {u"rkrkrkrkE"_s, std::nullopt}, // exactly a fifth
        {u"rkrkrkrkrkE"_s, korean(u"가가가가가ㄸ"_s)},
        {u"rk rk rk rk E"_s, std::nullopt},
        {u"rrr"_s, std::nullopt},
        {u"가나다라마바사ㅗㅗㅗ"_s, english(u"rkskekfkakqktkhhh"_s)},
        {u"가나다라마바사아ㅗㅗ"_s, std::nullopt},
        {u"가나 다라 마바 사 ㅗㅗㅗ"_s, english(u"rksk ekfk akqk tk hhh"_s)},
        {u"안녕"_s, std::nullopt},
        {u"ㅗ디ㅣㅐ"_s, english(u"hello"_s)},
        {u"ㅥㅥㅥ"_s, std::nullopt}, // jamo that no key types
        {decomposed(u"ㅗ디ㅣㅐ 재깅"_s), english(u"hello world"_s)},
        {decomposed(u"가나다라마바사아ㅗㅗ"_s), std::nullopt},
        {u""_s, std::nullopt},
        {u" \n\t "_s, std::nullopt},
        {u"  dkssud\n"_s, korean(u"안녕"_s)},
        {u"\u3000dkssud\u3000"_s, korean(u"안녕"_s)},
        {u"dkssud gktpdy"_s, korean(u"안녕 하세요"_s)},
        {u"dkssud 안녕"_s, std::nullopt},
        {u"ㅗ디ㅣㅐ world"_s, std::nullopt},
        {u"123 !?"_s, std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Fix::suggest(row.text), row.offered) << row.text.toStdString();
}

// A selection inside Hangul typed on the wrong layout widens to the whole run, which may touch either
// end of the text; blanks, Latin letters, line breaks, punctuation and other planes bound it.
TEST(KeyboardLayoutFix, typoRunWidensToTheWholeRunOfWrongLayoutTyping)
{
    constexpr qint64 max = std::numeric_limits<qint64>::max();
    const QString text = u"say ㅗ디ㅣㅐ now"_s, hello = u"ㅗ디ㅣㅐ"_s;
    const Widened whole = std::pair<qint64, qint64>(4, 4);
    const struct {
        QString full;
        qint64 location, length;
        Widened widened;
    } rows[] = {
        {text, 4, 1, whole}, // first unit
        {text, 7, 1, whole}, // last unit
        {text, 4, 4, std::nullopt}, // already the whole run
        {text, 3, 2, std::nullopt}, // the space is not Hangul
        {text, 1, 1, std::nullopt}, // a Latin letter
        {hello, 1, 2, std::pair<qint64, qint64>(0, 4)},
        {u"a\nㅗ디ㅣㅐ."_s, 3, 1, std::pair<qint64, qint64>(2, 4)},
        {u"\U0001F600ㅗ디ㅣㅐ"_s, 3, 1, std::pair<qint64, qint64>(2, 4)},
        // Real Korean: the widened run has no jamo, or too few of them.
        {u"저는 안녕하세요"_s, 4, 1, std::nullopt},
        {u"안녕하세요ㅋ"_s, 5, 1, std::nullopt},
        // ㆍ between syllables is official text's middle dot, not a typed letter.
        {u"산ㆍ학ㆍ연"_s, 0, 1, std::nullopt},
        // Several syllables without a jamo are not a typo worth widening.
        {u"ㅗ디ㅣ디ㅐ"_s, 1, 1, std::pair<qint64, qint64>(0, 5)},
        {u"ㅗ디디ㅣㅐ"_s, 1, 2, std::nullopt},
        // Empty, negative, overhanging or overflowing ranges.
        {hello, 1, 0, std::nullopt},
        {hello, 1, -1, std::nullopt},
        {hello, -1, 2, std::nullopt},
        {hello, 3, 2, std::nullopt},
        {hello, 4, 1, std::nullopt},
        {hello, 5, 1, std::nullopt},
        {hello, 1, max, std::nullopt},
        {hello, max, 1, std::nullopt},
        {u""_s, 0, 1, std::nullopt},
    };
    for (const auto& row : rows)
        EXPECT_EQ(run(row.full, row.location, row.length), row.widened)
            << row.full.toStdString() << " " << row.location << "+" << row.length;
}

} // namespace
