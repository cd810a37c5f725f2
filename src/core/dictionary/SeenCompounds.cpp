// Reading the seen compounds: each line checked on its bytes, its place kept; sorted only when the
// file is not in order already (the tool writes it in order).
#include "core/dictionary/SeenCompounds.h"

#include "base/TextUtil.h"
#include "core/dictionary/Utf8Scan.h"

#include <algorithm>
#include <cstring>

namespace {

using Byte = Utf8Scan::Byte;

constexpr quint32 kSyllables = 0xD7A4 - 0xAC00;

// The first syllable of a word's UTF-8 bytes (three of them), from 0; kSyllables or more for
// anything else.
quint32 firstSyllable(QByteArrayView utf8)
{
    const auto* b = reinterpret_cast<const Byte*>(utf8.data());
    const quint32 c = quint32(b[0] & 0x0F) << 12 | quint32(b[1] & 0x3F) << 6 | quint32(b[2] & 0x3F);
    return c - 0xAC00; // wraps to a large number below the syllables
}

// The field from p to the next TAB or LF, checked as UTF-8; its code points and whether all are
// Hangul syllables. Null when the bytes are not valid UTF-8.
struct Field {
    const Byte* end = nullptr;
    qsizetype characters = 0;
    bool syllablesOnly = true;
};

Field scanField(const Byte* p, const Byte* end)
{
    Field f;
    unsigned odd = 0;
    f.end = Utf8Scan::decodeField(p, end, odd, [&](char16_t u) {
        if (u >= 0xDC00 && u < 0xE000) return; // the second half of a pair: one character
        ++f.characters;
        f.syllablesOnly = f.syllablesOnly && TextUtil::isHangulSyllable(u);
    });
    return f;
}

// Reads the digits from p (stopping past 32 bits); where they end.
const Byte* wholeNumber(const Byte* p, const Byte* end, quint64& value)
{
    value = 0;
    while (p < end && *p >= '0' && *p <= '9' && value <= 0xFFFFFFFFu) value = value * 10 + (*p++ - '0');
    return p;
}

} // namespace

QList<SeenCompounds::Skipped> SeenCompounds::read(const QByteArray& text)
{
    QList<Skipped> skipped;
    std::vector<Line> lines;
    lines.reserve(size_t(text.count('\n')) + 1); // one line each, without growing twice the room
    const auto* const begin = reinterpret_cast<const Byte*>(text.constData());
    const Byte* const end = begin + text.size();
    qsizetype number = 0;
    for (const Byte* p = begin; p < end;) {
        const Byte* lineEnd = static_cast<const Byte*>(std::memchr(p, '\n', size_t(end - p)));
        if (!lineEnd) lineEnd = end;
        const Byte* const start = p;
        p = lineEnd + 1;
        ++number;
        const Byte* stop = lineEnd;
        if (stop > start && stop[-1] == '\r') --stop;
        if (stop == start || *start == '#') continue;
        const auto skip = [&](const char* reason) { skipped.append({number, QString::fromLatin1(reason)}); };
        const Field word = scanField(start, stop);
        if (!word.end) {
            skip("not valid UTF-8");
            continue;
        }
        if (word.end == stop) {
            skip("fewer than three fields");
            continue;
        }
        const Field hanja = scanField(word.end + 1, stop);
        if (!hanja.end) {
            skip("not valid UTF-8");
            continue;
        }
        if (hanja.end == stop) {
            skip("fewer than three fields");
            continue;
        }
        const Byte* const countStart = hanja.end + 1;
        quint64 count = 0;
        const Byte* countEnd = wholeNumber(countStart, stop, count);
        quint64 share = kNoShare;
        const Byte* shareEnd = countEnd;
        if (countEnd < stop && *countEnd == '\t') {
            shareEnd = wholeNumber(countEnd + 1, stop, share);
            if (shareEnd < stop && *shareEnd == '\t') {
                skip("more than four fields");
                continue;
            }
        }
        if (countEnd == countStart || count < 1 || count > 0xFFFFFFFFu || (countEnd != stop && *countEnd != '\t')) {
            skip("the count is no whole number from 1");
            continue;
        }
        if (shareEnd != stop || (countEnd != stop && (shareEnd == countEnd + 1 || share >= kNoShare))) {
            skip("the share is no whole number");
            continue;
        }
        if (!word.syllablesOnly || word.characters < 3) {
            skip("the word is not three Hangul syllables or more");
            continue;
        }
        if (hanja.characters != word.characters) {
            skip("the spelling has not one character per syllable");
            continue;
        }
        const qsizetype wordBytes = word.end - start, hanjaBytes = hanja.end - (word.end + 1);
        if (wordBytes > 0xFFFF || hanjaBytes > 0xFFFF || start - begin > 0xFFFFFFFF) {
            skip("too long");
            continue;
        }
        lines.push_back({quint32(start - begin), quint32(count), quint32(share), quint16(wordBytes), quint16(hanjaBytes)});
    }
    m_text = text;
    const auto before = [this](const Line& a, const Line& b) {
        const int c = wordOf(a).compare(wordOf(b));
        return c != 0 ? c < 0 : a.count > b.count;
    };
    if (!std::is_sorted(lines.begin(), lines.end(), before)) std::stable_sort(lines.begin(), lines.end(), before);
    lines.shrink_to_fit();
    m_lines = std::move(lines);
    m_byFirst.assign(kSyllables + 1, 0);
    for (const Line& l : m_lines) ++m_byFirst[firstSyllable(wordOf(l)) + 1];
    for (size_t i = 1; i < m_byFirst.size(); ++i) m_byFirst[i] += m_byFirst[i - 1];
    return skipped;
}

std::vector<SeenCompounds::Line>::const_iterator SeenCompounds::find(QByteArrayView utf8) const
{
    if (utf8.size() < 3 || m_byFirst.empty()) return m_lines.end();
    const quint32 first = firstSyllable(utf8);
    if (first >= kSyllables) return m_lines.end();
    const auto stop = m_lines.begin() + m_byFirst[first + 1];
    const auto it = std::lower_bound(m_lines.begin() + m_byFirst[first], stop, utf8, [this](const Line& l, QByteArrayView w) {
        const QByteArrayView word = wordOf(l);
        const int c = std::memcmp(word.data(), w.data(), size_t(std::min(word.size(), w.size())));
        return c != 0 ? c < 0 : word.size() < w.size();
    });
    return it != stop && wordOf(*it) == utf8 ? it : m_lines.end();
}

bool SeenCompounds::contains(QByteArrayView utf8) const { return find(utf8) != m_lines.end(); }

std::optional<quint32> SeenCompounds::stemShare(QByteArrayView utf8) const
{
    const auto it = find(utf8);
    if (it == m_lines.end() || it->share == kNoShare) return std::nullopt;
    return it->share;
}

QList<SeenCompounds::Spelling> SeenCompounds::spellings(QByteArrayView utf8, int limit) const
{
    QList<Spelling> out;
    for (auto it = find(utf8); it != m_lines.end() && out.size() < limit && wordOf(*it) == utf8; ++it)
        out.append({QString::fromUtf8(m_text.constData() + it->start + it->wordLength + 1, it->hanjaLength), it->count});
    return out;
}

SeenCompounds::PlaceCounts SeenCompounds::charactersAt(QStringView word, qsizetype index) const
{
    PlaceCounts out;
    if (index < 0 || index >= word.size()) return out;
    const auto bytesOf = [&](qsizetype i) {
        return i >= 0 && i < word.size() && TextUtil::isHangulSyllable(word[i].unicode()) ? QString(word[i]).toUtf8() : QByteArray();
    };
    const QByteArray self = bytesOf(index), left = bytesOf(index - 1), right = bytesOf(index + 1);
    if (self.size() != 3) return out;
    const auto same = [](const char* at, const QByteArray& syllable) {
        return syllable.size() == 3 && std::memcmp(at, syllable.constData(), 3) == 0;
    };
    for (const Line& l : m_lines) {
        const char* const w = m_text.constData() + l.start;
        const qsizetype n = l.wordLength / 3;
        for (qsizetype j = 0; j < n; ++j) {
            if (!same(w + 3 * j, self)) continue;
            // The spelling's character j: one per syllable, each one to four bytes.
            const auto* h = reinterpret_cast<const Byte*>(w + l.wordLength + 1);
            for (qsizetype k = 0; k < j; ++k) h += *h < 0x80 ? 1 : *h < 0xE0 ? 2 : *h < 0xF0 ? 3 : 4;
            const int size = *h < 0x80 ? 1 : *h < 0xE0 ? 2 : *h < 0xF0 ? 3 : 4;
            const QString character = QString::fromUtf8(reinterpret_cast<const char*>(h), size);
            ++out.anywhere[character];
            // Each side counts, as the dictionary's words count beside a word's two neighbours.
            const int beside = int(j > 0 && same(w + 3 * (j - 1), left)) + int(j + 1 < n && same(w + 3 * (j + 1), right));
            if (beside > 0) out.beside[character] += beside;
        }
    }
    return out;
}
