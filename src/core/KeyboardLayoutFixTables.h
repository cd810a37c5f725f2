#pragma once

// The fixed tables of the Korean 2-set layout, shared by KeyboardLayoutFix and its tests.

#include "core/KeyboardLayoutFix.h"

#include <QtGlobal>

#include <array>
#include <utility>

namespace KeyboardLayoutFixDetail {

constexpr char32_t syllableFirst = 0xAC00;
constexpr char32_t syllableLast = 0xD7A3;
constexpr char32_t jamoFirst = 0x3131; // Hangul Compatibility Jamo
constexpr char32_t jamoLast = 0x318E;
constexpr int jamoCount = int(jamoLast - jamoFirst + 1);

inline bool isSyllable(char32_t c) { return c >= syllableFirst && c <= syllableLast; }
// ㆍ (arae-a) is in the block, but no key types it, and official text writes it for the middle dot
// (산ㆍ학ㆍ연): it bounds a run like punctuation.
constexpr char32_t araeA = 0x318D;
inline bool isJamo(char32_t c) { return c >= jamoFirst && c <= jamoLast && c != araeA; }
inline bool isHangulLetter(char32_t c) { return isSyllable(c) || isJamo(c); }
inline bool isLatinLetter(char32_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

} // namespace KeyboardLayoutFixDetail

namespace Detail = KeyboardLayoutFixDetail;

// All tables of the 2-set layout. Indexed by code point offsets so that every lookup is O(1).
struct KeyboardLayoutFix::Tables {
    // The literals the tables are made from, in Unicode order.
    static constexpr char16_t choseongLiteral[] = u"ㄱㄲㄴㄷㄸㄹㅁㅂㅃㅅㅆㅇㅈㅉㅊㅋㅌㅍㅎ";
    static constexpr char16_t jungseongLiteral[] = u"ㅏㅐㅑㅒㅓㅔㅕㅖㅗㅘㅙㅚㅛㅜㅝㅞㅟㅠㅡㅢㅣ";
    static constexpr char16_t jongseongLiteral[] = u" ㄱㄲㄳㄴㄵㄶㄷㄹㄺㄻㄼㄽㄾㄿㅀㅁㅂㅄㅅㅆㅇㅈㅊㅋㅌㅍㅎ";

    std::array<char16_t, 128> qwertyToJamo {}; // ASCII key -> jamo, 0 when not a key
    std::array<char16_t, Detail::jamoCount> jamoToQwerty {}; // jamo -> key, 0 when none
    std::array<qint8, Detail::jamoCount> choIndex; // position in choseong, -1 when absent
    std::array<qint8, Detail::jamoCount> jungIndex; // position in jungseong; membership makes a vowel
    std::array<qint8, Detail::jamoCount> jongIndex; // position in jongseong (1...27), -1 when not a final
    std::array<std::array<char16_t, 21>, 21> vowelCompose {}; // by jungseong positions
    std::array<std::array<char16_t, 28>, 28> finalCompose {}; // by jongseong positions
    std::array<std::pair<char16_t, char16_t>, Detail::jamoCount> vowelDecompose {};
    std::array<std::pair<char16_t, char16_t>, Detail::jamoCount> finalDecompose {};

    static int offset(char32_t jamo) { return int(jamo - Detail::jamoFirst); }

    Tables();

    bool isVowel(char16_t c) const { return Detail::isJamo(c) && jungIndex[offset(c)] >= 0; }
    bool isFinal(char16_t c) const { return Detail::isJamo(c) && jongIndex[offset(c)] >= 0; }
    char16_t keyFor(char16_t jamo) const { return Detail::isJamo(jamo) ? jamoToQwerty[offset(jamo)] : 0; }
    std::pair<char16_t, char16_t> decompose(char16_t jamo) const
    {
        if (!Detail::isJamo(jamo))
            return {};
        if (vowelDecompose[offset(jamo)].first)
            return vowelDecompose[offset(jamo)];
        return finalDecompose[offset(jamo)];
    }
};

