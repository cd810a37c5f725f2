#pragma once

// Hashing and comparing short UTF-16 texts, the words and spellings of the dictionary. Words are
// hashed a unit at a time so that the parser can hash a word while it decodes it; most words are
// a few units long and are compared inline rather than by a call.

#include <QStringView>
#include <QtGlobal>

#include <cstring>

namespace DictionaryText {

constexpr quint64 kHashSeed = 0xCBF29CE484222325ull;
constexpr quint64 kHashPrime = 0x100000001B3ull;

inline quint64 hashStep(quint64 h, char16_t unit) { return (h ^ unit) * kHashPrime; }

// The final mix spreads every unit over the top bits, which pick a slot, and the low bits,
// which the slots keep as a tag.
inline quint64 hashFinish(quint64 h, qsizetype length)
{
    h ^= quint64(length);
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return h;
}

inline quint64 hashText(const char16_t* s, qsizetype n)
{
    quint64 h = kHashSeed;
    for (qsizetype i = 0; i < n; ++i) h = hashStep(h, s[i]);
    return hashFinish(h, n);
}

inline quint64 hashText(QStringView s) { return hashText(s.utf16(), s.size()); }

// From the end: words met side by side in the dictionary's order share their beginnings.
Q_ALWAYS_INLINE bool sameText(const char16_t* a, const char16_t* b, qsizetype n)
{
    if (n > 8) return std::memcmp(a, b, size_t(n) * 2) == 0;
    for (qsizetype i = n - 1; i >= 0; --i)
        if (a[i] != b[i]) return false;
    return true;
}

// Without QString::utf16(), a call that is not inlined, on the hot paths.
inline const char16_t* unitsOf(const QString& s) { return reinterpret_cast<const char16_t*>(s.constData()); }

} // namespace DictionaryText
