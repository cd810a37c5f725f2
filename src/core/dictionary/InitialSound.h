#pragma once

// How a Hanja character's syllable changes with its place in a word: the initial-sound rule (락 →
// 낙, 리 → 이, 녀 → 여 at the start of a word), 렬/률 → 열/율 after a vowel or ㄴ (비율, 선열), and
// 不 as 부 before ㄷ and ㅈ (부동, 부족). Plain syllable arithmetic on precomposed Hangul.

#include "base/TextUtil.h"

namespace InitialSound {

struct Jamo {
    int lead, vowel, tail; // indices in the syllable block; tail 0 is none
};

inline Jamo split(char16_t s)
{
    const int i = s - TextUtil::kSyllableFirst;
    return {i / 588, (i % 588) / 28, i % 28};
}
inline char16_t join(Jamo j) { return char16_t(TextUtil::kSyllableFirst + j.lead * 588 + j.vowel * 28 + j.tail); }

constexpr int kN = 2, kD = 3, kR = 5, kJ = 12, kSilent = 11; // ㄴ ㄷ ㄹ ㅈ ㅇ
constexpr int kTailN = 4, kTailR = 8;                       // final ㄴ, ㄹ

// ㅑ ㅕ ㅖ ㅛ ㅠ ㅣ: the vowels before which ㄹ and ㄴ fall silent at a word's start.
inline bool isIotated(int vowel) { return vowel == 2 || vowel == 6 || vowel == 7 || vowel == 12 || vowel == 17 || vowel == 20; }

// The syllable as it is said at the start of a word.
inline char16_t atWordStart(char16_t s)
{
    if (!TextUtil::isHangulSyllable(s)) return s;
    Jamo j = split(s);
    if (j.lead == kR) j.lead = isIotated(j.vowel) ? kSilent : kN;
    else if (j.lead == kN && isIotated(j.vowel)) j.lead = kSilent;
    return join(j);
}

// 렬, 률 after a syllable without a final or with final ㄴ: 열, 율.
inline char16_t afterSyllable(char16_t before, char16_t s)
{
    if (!TextUtil::isHangulSyllable(before) || !TextUtil::isHangulSyllable(s)) return s;
    Jamo j = split(s);
    const int tail = split(before).tail;
    if (j.lead == kR && j.tail == kTailR && (j.vowel == 6 || j.vowel == 17) && (tail == 0 || tail == kTailN)) {
        j.lead = kSilent;
        return join(j);
    }
    return s;
}

// 不 reads 부 before ㄷ and ㅈ, else 불.
inline bool negationReadsBu(char16_t next)
{
    if (!TextUtil::isHangulSyllable(next)) return false;
    const int lead = split(next).lead;
    return lead == kD || lead == kJ;
}

} // namespace InitialSound
