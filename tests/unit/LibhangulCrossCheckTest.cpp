// Our 2-set typing automaton against libhangul's, the reference Korean input method on Linux.
//
// Both are fed the same seeded random key strings over the 33 keys of the layout table. The texts
// must be equal, except for the differences we make on purpose, each written down below with an
// example; any other mismatch fails and prints the key string.
//
// Allowed differences (libhangul's 2-set keyboard as it ships, default options):
//   A. Two vowels without an initial never combine here: hk gives ㅗㅏ, libhangul gives ㅘ
//      (its "non-choseong combination" option is on by default). A syllable needs an initial to be a
//      syllable, so we keep the letters as typed.
//   B. Two consonants without a vowel never combine here: rt gives ㄱㅅ, libhangul gives ㄳ (it lets a
//      lone initial pair up as a compound final). Compound finals belong to a syllable; standing alone
//      they are just the two letters typed.
// Both differences only touch jamo that stand alone, never a syllable. So a mismatch is allowed when
// the two texts become equal once every stand-alone compound jamo is written as its two parts, and
// libhangul's text holds such a compound jamo (of class A or B) that ours does not.
//
// Output form: in syllable output mode libhangul gives precomposed syllables and, for letters that
// stand alone, compatibility jamo (U+3131...), the same characters we give. Should a version emit
// conjoining jamo (U+1100 block) for a lone letter instead, they are mapped to compatibility jamo with
// hangul_jamo_to_cjamo and the fillers (U+115F, U+1160) dropped, so that only the form differs, not the
// letters. Precomposed syllables are compared as they are.

#include "KeyboardLayoutFixAccess.h"

#include <gtest/gtest.h>

#include <hangul-1.0/hangul.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>

namespace {

using namespace Qt::StringLiterals;

using Access = KeyboardLayoutFixAccess;

const QString tableKeys = u"qwertyuiopasdfghjklzxcvbnmQWERTOP"_s;

QString fromUcs4(const ucschar* s)
{
    QString out;
    for (; s && *s; ++s) {
        ucschar c = *s;
        if (c == 0x115F || c == 0x1160) // choseong / jungseong fillers
            continue;
        if (hangul_is_jamo(c)) // conjoining jamo: the same letter in its compatibility form
            c = hangul_jamo_to_cjamo(c);
        const char32_t scalar = char32_t(c);
        out += QString::fromUcs4(&scalar, 1);
    }
    return out;
}

struct InputContext {
    std::unique_ptr<HangulInputContext, void (*)(HangulInputContext*)> ic {hangul_ic_new("2"), hangul_ic_delete};

    // Types the keys one by one; every committed text and the final flush, in order.
    QString type(const QString& keys, bool* allConsumed)
    {
        hangul_ic_reset(ic.get());
        QString out;
        *allConsumed = true;
        for (QChar key : keys) {
            if (!hangul_ic_process(ic.get(), key.toLatin1()))
                *allConsumed = false;
            out += fromUcs4(hangul_ic_get_commit_string(ic.get()));
        }
        out += fromUcs4(hangul_ic_flush(ic.get()));
        return out;
    }
};

QString ours(const QString& keys) { return Access::compose(Access::jamoForKeys(keys)); }

// Every stand-alone compound jamo written as its two parts (syllables are left whole).
QString splitCompounds(const QString& text)
{
    QString out;
    for (QChar c : text) {
        if (Access::isCompoundVowel(c) || Access::isCompoundFinal(c))
            out += Access::jamoForKeys(Access::keys(QString(c)));
        else
            out += c;
    }
    return out;
}

int count(const QString& text, bool (*pred)(QChar)) { return int(std::count_if(text.begin(), text.end(), pred)); }

TEST(LibhangulCrossCheck, knownDifferences)
{
    InputContext lib;
    bool consumed = false;
    EXPECT_EQ(ours(u"hk"_s), u"ㅗㅏ"_s);
    EXPECT_EQ(lib.type(u"hk"_s, &consumed), u"ㅘ"_s);
    EXPECT_EQ(ours(u"rt"_s), u"ㄱㅅ"_s);
    EXPECT_EQ(lib.type(u"rt"_s, &consumed), u"ㄳ"_s);
    // With an initial before them both agree.
    EXPECT_EQ(ours(u"dhk"_s), lib.type(u"dhk"_s, &consumed));
    EXPECT_EQ(ours(u"rtk"_s), lib.type(u"rtk"_s, &consumed));
    EXPECT_EQ(ours(u"dkfrk"_s), lib.type(u"dkfrk"_s, &consumed));
}

TEST(LibhangulCrossCheck, randomKeyStrings)
{
    InputContext lib;
    ASSERT_TRUE(lib.ic);
    std::mt19937 random(20240603);
    std::uniform_int_distribution<int> lengthOf(1, 20);
    std::uniform_int_distribution<int> keyOf(0, int(tableKeys.size()) - 1);

    int equal = 0, classA = 0, classB = 0, failures = 0;
    for (int round = 0; round < 20000; ++round) {
        QString keys;
        const int length = lengthOf(random);
        for (int i = 0; i < length; ++i)
            keys += tableKeys[keyOf(random)];

        bool consumed = false;
        const QString theirs = lib.type(keys, &consumed);
        const QString mine = ours(keys);
        ASSERT_TRUE(consumed) << "libhangul refused a key of " << keys.toStdString();

        // The public conversion agrees with the automaton: the same text, or nothing when no syllable came out.
        const auto converted = KeyboardLayoutFix::englishToKorean(keys);
        const bool hasSyllable = std::any_of(mine.begin(), mine.end(), [](QChar c) { return c.unicode() >= 0xAC00 && c.unicode() <= 0xD7A3; });
        EXPECT_EQ(converted.has_value(), hasSyllable) << keys.toStdString();
        if (converted) {
            EXPECT_EQ(*converted, mine) << keys.toStdString();
        }

        if (mine == theirs) {
            ++equal;
            continue;
        }
        const bool a = count(theirs, Access::isCompoundVowel) > count(mine, Access::isCompoundVowel);
        const bool b = count(theirs, Access::isCompoundFinal) > count(mine, Access::isCompoundFinal);
        if ((a || b) && splitCompounds(mine) == splitCompounds(theirs)) {
            classA += a;
            classB += b;
            continue;
        }
        if (++failures <= 20)
            ADD_FAILURE() << "keys " << keys.toStdString() << ": ours " << mine.toStdString() << ", libhangul "
                          << theirs.toStdString();
    }
    EXPECT_EQ(failures, 0);
    // The written-down differences do occur; if one vanished, its note above would be stale.
    EXPECT_GT(classA, 0);
    EXPECT_GT(classB, 0);
    std::printf("libhangul cross-check: %d equal, %d vowel pairs without initial, %d consonant pairs without vowel\n",
                equal, classA, classB);
}

} // namespace
