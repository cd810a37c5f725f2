#pragma once

#include <QList>
#include <QString>
#include <QStringView>

// Text helpers shared by the core. "Characters" are user-perceived characters (extended grapheme
// clusters); positions that cross the accessibility layer are UTF-16 units.
namespace TextUtil {

inline constexpr char16_t kSyllableFirst = 0xAC00;
inline constexpr char16_t kSyllableLast = 0xD7A3;

inline bool isHangulSyllable(char32_t c) { return c >= kSyllableFirst && c <= kSyllableLast; }
inline bool isCompatibilityJamo(char32_t c) { return c >= 0x3131 && c <= 0x318E; }

// Code units that are a grapheme of their own whatever surrounds them, and that NFC leaves alone:
// printable ASCII, Hangul syllables, compatibility jamo, CJK unified ideographs and common
// punctuation. Text made only of these needs neither segmentation nor normalisation.
inline bool isSimpleUnit(char16_t c)
{
    if ((c >= 0x20 && c <= 0x7E) || c == u'\t') return true;
    if (c >= kSyllableFirst && c <= kSyllableLast) return true;
    if (c >= 0x3131 && c <= 0x318E) return true;
    if (c >= 0x4E00 && c <= 0x9FFF) return true;
    if (c >= 0x3400 && c <= 0x4DBF) return true;
    // CJK punctuation, but not the tone marks U+302A..U+302F, which join the character before them.
    if ((c >= 0x3000 && c <= 0x3029) || c == 0x3030) return true;
    if (c >= 0x2010 && c <= 0x2027) return true;
    return c == 0x00B7 || c == 0xFF0B;
}
bool isSimple(QStringView text);

// Canonical composition (NFC); returns the input unchanged (no copy) when it is already composed
// for certain, which is the case for almost all dictionary and selection text.
QString nfc(const QString& text);

// Offsets (UTF-16) of the grapheme boundaries of text, starting with 0 and ending with its size.
QList<qsizetype> graphemeBoundaries(QStringView text);
qsizetype characterCount(QStringView text);
QString characterPrefix(const QString& text, qsizetype count);

// White space and line breaks trimmed from both ends (Unicode separators, TAB..CR, U+0085).
QString trimmed(const QString& text);

// The display cut: 25 characters or more become the first 24 followed by "…".
QString displayCut(const QString& text);

} // namespace TextUtil
