#pragma once

// Strict UTF-8 scanning of tab-separated lines, straight from the file's bytes. Both resource
// files are almost all Hangul syllables and Hanja, three bytes each: those are decoded four bytes
// at a time through a table, and only the rest takes the general path. Fields are found on the
// bytes, eight at a time, so that lines that are not kept are never decoded.

#include <QtEndian>
#include <QtGlobal>

#include <array>
#include <cstring>

namespace Utf8Scan {

using Byte = unsigned char;

// Blocks of 256 code points whose every unit is simple text (TextUtil::isSimpleUnit): Hangul
// syllables and CJK ideographs, the bulk of both files. Anything else is checked exactly.
constexpr std::array<bool, 256> kPlainBlocks = [] {
    std::array<bool, 256> blocks{};
    for (int b = 0x34; b <= 0x4C; ++b) blocks[b] = true;
    for (int b = 0x4E; b <= 0x9F; ++b) blocks[b] = true;
    for (int b = 0xAC; b <= 0xD6; ++b) blocks[b] = true;
    return blocks;
}();

// The high bits of a three-byte character (lead byte 1110xxxx, then 10yyyyyy) by the bits
// x and y of its first two bytes read as a little-endian number (w & 0x3F0F), or 0 when the
// character is outside kPlainBlocks.
constexpr std::array<quint16, 0x3F10> kThreeByteHigh = [] {
    std::array<quint16, 0x3F10> high{};
    for (unsigned i = 0; i < high.size(); ++i) {
        const unsigned cp = (i & 0x0F) << 12 | (i >> 8 & 0x3F) << 6;
        if ((i & 0xF0) == 0 && kPlainBlocks[cp >> 8]) high[i] = quint16(cp);
    }
    return high;
}();

// Strict UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF) from s up to the first
// TAB or LF, or to end. Returns where it stopped, or nullptr on invalid input. Each UTF-16 unit
// goes to unit(); odd is set when some unit may not be simple text (TextUtil::isSimpleUnit).
template <typename Unit>
Q_ALWAYS_INLINE const Byte* decodeField(const Byte* s, const Byte* end, unsigned& odd, Unit unit)
{
    while (s < end) {
        // Runs of Hangul syllables and Hanja, three bytes each, the bulk of the data: read four
        // bytes at a time (the fourth is the next character's or the delimiter).
        if (end - s >= 4) {
            for (const Byte* const last = end - 4; s <= last;) {
                const quint32 w = qFromLittleEndian<quint32>(s);
                if ((w & 0xC0C0F0u) != 0x8080E0u) break;
                const unsigned high = kThreeByteHigh[w & 0x3F0F];
                if (!high) break;
                unit(char16_t(high | (w >> 16 & 0x3F)));
                s += 3;
            }
        }
        if (s == end) break;
        const unsigned c = *s;
        if (c - 0xE0u < 0x10u && end - s >= 3) {
            // Outside the plain blocks, or at the very end.
            const unsigned b1 = s[1], b2 = s[2];
            if (((b1 | b2 << 8) & 0xC0C0u) != 0x8080u) return nullptr;
            const unsigned cp = (c & 0x0F) << 12 | (b1 & 0x3F) << 6 | (b2 & 0x3F);
            if (!kPlainBlocks[cp >> 8]) {
                if (cp < 0x800 || cp - 0xD800u < 0x800u) return nullptr;
                odd = 1;
            }
            unit(char16_t(cp));
            s += 3;
            continue;
        }
        if (c < 0x80) {
            if (c - 9u < 2u) break; // TAB or LF
            odd |= unsigned(c < 0x20 || c == 0x7F);
            unit(char16_t(c));
            ++s;
            continue;
        }
        odd = 1;
        if (c - 0xC2u < 0x1Eu) {
            if (end - s < 2 || (s[1] & 0xC0) != 0x80) return nullptr;
            unit(char16_t((c & 0x1F) << 6 | (s[1] & 0x3F)));
            s += 2;
            continue;
        }
        if (c - 0xF0u < 5u && end - s >= 4) {
            if (((s[1] & 0xC0) ^ 0x80) | ((s[2] & 0xC0) ^ 0x80) | ((s[3] & 0xC0) ^ 0x80)) return nullptr;
            const char32_t cp = (c & 0x07) << 18 | (s[1] & 0x3F) << 12 | (s[2] & 0x3F) << 6 | (s[3] & 0x3F);
            if (cp < 0x10000 || cp > 0x10FFFF) return nullptr;
            unit(char16_t(0xD800 + ((cp - 0x10000) >> 10)));
            unit(char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF)));
            s += 4;
            continue;
        }
        return nullptr;
    }
    return s;
}

// Checks a stretch that is not kept, up to the end of its line; nullptr when invalid.
inline const Byte* skipToLineEnd(const Byte* s, const Byte* end)
{
    unsigned odd = 0;
    while (s && s < end && *s != '\n') {
        if (*s == '\t')
            ++s;
        else
            s = decodeField(s, end, odd, [](char16_t) {});
    }
    return s;
}

// The next TAB or LF from p, or end; eight bytes at a time.
inline const Byte* toDelimiter(const Byte* p, const Byte* end)
{
    constexpr quint64 kOnes = 0x0101010101010101ull;
    constexpr quint64 kHighs = 0x8080808080808080ull;
    while (end - p >= 8) {
        const quint64 w = qFromLittleEndian<quint64>(p);
        const quint64 tab = w ^ (kOnes * '\t'), lf = w ^ (kOnes * '\n');
        // The lowest byte flagged is a TAB or LF (later flags may be borrows).
        const quint64 hit = ((tab - kOnes) & ~tab & kHighs) | ((lf - kOnes) & ~lf & kHighs);
        if (hit) return p + qCountTrailingZeroBits(hit) / 8;
        p += 8;
    }
    while (p < end && *p != '\t' && *p != '\n') ++p;
    return p;
}

// Equal byte runs of the same length, for words of a few syllables.
inline bool sameBytes(const Byte* a, const Byte* b, size_t n)
{
    const auto load8 = [](const Byte* p) {
        quint64 v;
        std::memcpy(&v, p, 8);
        return v;
    };
    const auto load4 = [](const Byte* p) {
        quint32 v;
        std::memcpy(&v, p, 4);
        return v;
    };
    if (n >= 8) {
        for (size_t i = 0; i + 8 < n; i += 8)
            if (load8(a + i) != load8(b + i)) return false;
        return load8(a + n - 8) == load8(b + n - 8);
    }
    if (n >= 4) return load4(a) == load4(b) && load4(a + n - 4) == load4(b + n - 4);
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// The number of the line (from 1) that holds p.
inline qsizetype lineNumberAt(const Byte* begin, const Byte* p)
{
    qsizetype line = 1;
    for (const Byte* q = begin; q < p; ++q) line += *q == '\n';
    return line;
}

} // namespace Utf8Scan
