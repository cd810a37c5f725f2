#include "core/HanjaDictionary.h"

#include "base/Log.h"
#include "base/Resources.h"
#include "base/TextUtil.h"

#include <QByteArray>
#include <QFile>
#include <QSet>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace {

using Byte = unsigned char;

// Keys are hashed as UTF-16, a unit at a time, so the loader can hash a word while it decodes it;
// the final mix spreads every unit over the top bits, which pick the slot, and the low bits,
// which the slots keep as a tag.
constexpr quint64 kHashSeed = 0xCBF29CE484222325ull;
constexpr quint64 kHashPrime = 0x100000001B3ull;

inline quint64 hashStep(quint64 h, char16_t unit) { return (h ^ unit) * kHashPrime; }

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

quint64 hashText(const char16_t* s, qsizetype n)
{
    quint64 h = kHashSeed;
    for (qsizetype i = 0; i < n; ++i) h = hashStep(h, s[i]);
    return hashFinish(h, n);
}

quint64 hashText(QStringView s) { return hashText(s.utf16(), s.size()); }

// Most words and spellings are a few units long: compared here rather than by a call.
Q_ALWAYS_INLINE bool sameText(const char16_t* a, const char16_t* b, qsizetype n)
{
    if (n > 8) return std::memcmp(a, b, size_t(n) * 2) == 0;
    for (qsizetype i = 0; i < n; ++i)
        if (a[i] != b[i]) return false;
    return true;
}

const char16_t* unitsOf(const QString& s) { return reinterpret_cast<const char16_t*>(s.utf16()); }

inline void prefetch(const void* p)
{
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    Q_UNUSED(p);
#endif
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

// Open addressing over record ids. A slot holds id + 1 in its low bits and hash bits above them:
// most probes that miss never touch the text. The records and their text are kept by the caller.
class HashIndex {
public:
    // Room for count records (ids below 2 * count) before the table grows.
    void reserve(quint32 count)
    {
        int bits = 1;
        while (bits < 32 && (quint64(1) << bits) <= quint64(count) * 2 + 2) ++bits;
        m_idMask = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
        m_size = quint32(std::max<quint64>(16, quint64(count) * 10 / 7 + 1));
        m_limit = quint32(quint64(m_size) * 7 / 10);
        m_slots.assign(m_size, 0);
        m_count = 0;
    }

    void prefetchSlot(quint64 h) const { prefetch(m_slots.data() + start(h)); }

    // The id of the record equal to the new one, or newId after adding it.
    template <typename Equal, typename HashOf>
    quint32 findOrInsert(quint64 h, quint32 newId, Equal equal, HashOf hashOf)
    {
        if (m_count >= m_limit || newId >= m_idMask) grow(std::max(m_count, newId / 2 + 1), hashOf);
        const quint32 tag = quint32(h) & ~m_idMask;
        for (quint32 i = start(h);; i = next(i)) {
            const quint32 slot = m_slots[i];
            if (slot == 0) {
                m_slots[i] = tag | (newId + 1);
                ++m_count;
                return newId;
            }
            if ((slot & ~m_idMask) == tag && equal((slot & m_idMask) - 1)) return (slot & m_idMask) - 1;
        }
    }

    template <typename Matches>
    std::optional<quint32> find(quint64 h, Matches matches) const
    {
        if (m_slots.empty()) return std::nullopt;
        const quint32 tag = quint32(h) & ~m_idMask;
        for (quint32 i = start(h);; i = next(i)) {
            const quint32 slot = m_slots[i];
            if (slot == 0) return std::nullopt;
            if ((slot & ~m_idMask) == tag && matches((slot & m_idMask) - 1)) return (slot & m_idMask) - 1;
        }
    }

private:
    quint32 start(quint64 h) const { return quint32(((h >> 32) * m_size) >> 32); }
    quint32 next(quint32 i) const { return i + 1 == m_size ? 0 : i + 1; }

    // Moves every record to a table for twice as many.
    template <typename HashOf>
    void grow(quint32 count, HashOf hashOf)
    {
        std::vector<quint32> old;
        old.swap(m_slots);
        const quint32 oldMask = m_idMask;
        reserve(std::max<quint32>(count * 2, 64));
        for (quint32 slot : old) {
            if (slot == 0) continue;
            const quint32 id = (slot & oldMask) - 1;
            const quint64 h = hashOf(id);
            quint32 i = start(h);
            while (m_slots[i] != 0) i = next(i);
            m_slots[i] = (quint32(h) & ~m_idMask) | (id + 1);
            ++m_count;
        }
    }

    std::vector<quint32> m_slots;
    quint32 m_size = 0;
    quint32 m_limit = 0;
    quint32 m_idMask = 0;
    quint32 m_count = 0;
};

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
const Byte* skipToLineEnd(const Byte* s, const Byte* end)
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

// A file's bytes, mapped when possible (which spares a heap copy that would stay in the heap).
class FileBytes {
public:
    bool open(const QString& path)
    {
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::ReadOnly)) return false;
        const qint64 size = m_file.size();
        // Offsets into the text are 32-bit.
        if (size >= qint64(INT32_MAX)) return false;
        if (size > 0 && (m_mapped = m_file.map(0, size))) {
            m_size = size;
            return true;
        }
        m_copy = m_file.readAll();
        m_size = m_copy.size();
        return m_file.error() == QFileDevice::NoError;
    }
    ~FileBytes()
    {
        if (m_mapped) m_file.unmap(m_mapped);
    }
    const Byte* begin() const { return m_mapped ? m_mapped : reinterpret_cast<const Byte*>(m_copy.constData()); }
    const Byte* end() const { return begin() + m_size; }
    qsizetype size() const { return m_size; }

private:
    QFile m_file;
    uchar* m_mapped = nullptr;
    QByteArray m_copy;
    qsizetype m_size = 0;
};

// Text appended to one QString. Decoding writes straight into room made beforehand, a unit per
// byte of the lines to come (ensure()); composition, the one thing that can make text longer
// than its bytes, makes more room by what it added.
class Arena {
public:
    Arena(QString& text, qsizetype room)
        : m_text(text)
    {
        m_text = QString(std::max<qsizetype>(room, 64), Qt::Uninitialized); // no room beyond that
        m_base = reinterpret_cast<char16_t*>(m_text.data());
        m_end = m_base;
    }
    void ensure(qsizetype units)
    {
        if (units <= m_text.size() - (m_end - m_base)) return;
        const qsizetype used = m_end - m_base;
        m_text.resize(std::max(used + units, m_text.size() + m_text.size() / 2));
        m_base = reinterpret_cast<char16_t*>(m_text.data());
        m_end = m_base + used;
    }
    char16_t* cursor() const { return m_end; }
    void setCursor(char16_t* cursor) { m_end = cursor; }
    quint32 offset(const char16_t* p) const { return quint32(p - m_base); }
    quint32 used() const { return offset(m_end); }
    const char16_t* at(quint32 offset) const { return m_base + offset; }
    QStringView view(quint32 offset, qsizetype length) const { return QStringView(m_base + offset, length); }

    // Composes the text from offset to the cursor; returns its new length.
    qsizetype compose(quint32 offset)
    {
        const QString composed = view(offset, m_end - (m_base + offset)).toString().normalized(QString::NormalizationForm_C);
        const qsizetype added = composed.size() - (m_end - (m_base + offset));
        if (added > 0) ensure(m_text.size() - (m_end - m_base) + added);
        m_end = std::copy(unitsOf(composed), unitsOf(composed) + composed.size(), m_base + offset);
        return composed.size();
    }

private:
    QString& m_text;
    char16_t* m_base = nullptr;
    char16_t* m_end = nullptr;
};

// Lines are read a stretch of about this many bytes at a time; room for decoding is made for
// each stretch.
constexpr qsizetype kStretch = 1 << 16;

// The end of the stretch of whole lines that starts at p.
const Byte* stretchEnd(const Byte* p, const Byte* end)
{
    if (end - p <= kStretch) return end;
    const void* lf = std::memchr(p + kStretch, '\n', size_t(end - p - kStretch));
    return lf ? static_cast<const Byte*>(lf) + 1 : end;
}

// Decodes one field at the arena's end, composed when it is not plainly composed already; the
// field is [offset, offset + length). Returns where it stopped, nullptr on invalid UTF-8.
Q_ALWAYS_INLINE const Byte* takeField(Arena& arena, const Byte* p, const Byte* end, quint32* offset, qsizetype* length,
                                      bool* odd = nullptr)
{
    char16_t* const start = arena.cursor();
    char16_t* out = start;
    unsigned unusual = 0;
    p = decodeField(p, end, unusual, [&out](char16_t u) { *out++ = u; });
    arena.setCursor(out);
    if (!p) return nullptr;
    *offset = arena.offset(start);
    *length = out - start;
    if (odd) *odd = unusual != 0;
    if (unusual && !TextUtil::isSimple(arena.view(*offset, *length))) *length = arena.compose(*offset);
    return p;
}

// A character is one grapheme cluster; most Hanja are one UTF-16 unit.
bool isOneCharacter(QStringView s)
{
    if (s.size() == 1) return true;
    if (s.isEmpty()) return false;
    return TextUtil::characterCount(s) == 1;
}

bool isSpaceOrTab(QChar c) { return c == QLatin1Char('\t') || c.category() == QChar::Separator_Space; }

QStringView trimSpacesAndTabs(QStringView s)
{
    while (!s.isEmpty() && isSpaceOrTab(s.front())) s = s.sliced(1);
    while (!s.isEmpty() && isSpaceOrTab(s.back())) s.chop(1);
    return s;
}

// The gloss of a single-character line: the first non-empty comma piece, trimmed; only the
// first piece counts even when it trims to nothing.
QStringView glossOf(QStringView meaning)
{
    qsizetype start = 0;
    while (start < meaning.size() && meaning[start] == QLatin1Char(',')) ++start;
    if (start == meaning.size()) return {};
    qsizetype end = meaning.indexOf(QLatin1Char(','), start);
    if (end < 0) end = meaning.size();
    return trimSpacesAndTabs(meaning.sliced(start, end - start));
}

// Plain decimal numbers with optional sign, fraction and exponent; no blanks, no inf or nan.
std::optional<double> parseScore(const Byte* s, const Byte* e)
{
    // Digits with at most one point and at most 15 digits in all are exact as an integer over a
    // power of ten, and the one division rounds correctly: the same double from_chars gives.
    static constexpr double kPowers[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    if (e - s <= 16) {
        quint64 mantissa = 0;
        int digits = 0, fraction = -1;
        const Byte* q = s;
        for (; q < e; ++q) {
            if (*q - unsigned('0') < 10u) {
                mantissa = mantissa * 10 + (*q - '0');
                ++digits;
                if (fraction >= 0) ++fraction;
            } else if (*q == '.' && fraction < 0) {
                fraction = 0;
            } else {
                break;
            }
        }
        if (q == e && digits > 0 && digits <= 15)
            return fraction > 0 ? double(mantissa) / kPowers[fraction] : double(mantissa);
    }
    if (s == e || e - s > 64) return std::nullopt;
    for (const Byte* q = s; q < e; ++q) {
        const Byte u = *q;
        const bool allowed = (u >= '0' && u <= '9') || u == '.' || u == '+' || u == '-' || u == 'e' || u == 'E';
        if (!allowed) return std::nullopt;
    }
    const char* begin = reinterpret_cast<const char*>(s);
    const char* const last = reinterpret_cast<const char*>(e);
    if (*begin == '+') ++begin; // from_chars takes no plus sign
    if (begin == last || *begin == '+' || *begin == 'e' || *begin == 'E') return std::nullopt;
    double value = 0;
    const auto [stop, error] = std::from_chars(begin, last, value, std::chars_format::general);
    if (error != std::errc() || stop != last || !std::isfinite(value)) return std::nullopt;
    return value;
}

// Decodes a field not checked before into text, composed; false when it is not valid UTF-8.
bool decodeText(const Byte* bytes, size_t length, std::vector<char16_t>& scratch, QString& composed, QStringView* text)
{
    scratch.resize(length);
    char16_t* out = scratch.data();
    unsigned odd = 0;
    if (decodeField(bytes, bytes + length, odd, [&out](char16_t u) { *out++ = u; }) != bytes + length) return false;
    *text = QStringView(scratch.data(), out - scratch.data());
    if (odd && !TextUtil::isSimple(*text)) {
        composed = text->toString().normalized(QString::NormalizationForm_C);
        *text = composed;
    }
    return true;
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

// A line of hanja_freq.tsv that counts, as bytes: word and spelling are not checked as UTF-8.
struct ScoreLine {
    const Byte* line;
    const Byte* word;
    size_t wordBytes;
    const Byte* hanja;
    size_t hanjaBytes;
    double score;
};

// Reads the whole lines of hanja_freq.tsv in [begin, end) as bytes: next() gives each line that
// counts, leaving its word and spelling to the caller to check; all else it checks itself.
class ScoreReader {
public:
    ScoreReader(const Byte* begin, const Byte* end)
        : m_p(begin)
        , m_end(end)
    {
    }
    // False when the bytes checked were not valid UTF-8.
    bool valid() const { return m_valid; }

    Q_ALWAYS_INLINE bool next(ScoreLine& line)
    {
        const Byte* p = m_p;
        const Byte* const end = m_end;
        while (p < end) {
            if (*p == '\n') {
                ++p;
                continue;
            }
            const Byte* const lineStart = p;
            if (*p != '#') {
                // Fields dropping empty ones.
                const Byte* fields[3] = {nullptr, nullptr, nullptr};
                size_t lengths[3] = {0, 0, 0};
                int count = 0;
                for (;;) {
                    while (p < end && *p == '\t') ++p;
                    if (p == end || *p == '\n') break;
                    const Byte* const field = p;
                    p = toDelimiter(p, end);
                    if (count < 3) {
                        fields[count] = field;
                        lengths[count] = size_t(p - field);
                    }
                    ++count;
                }
                // A number is plain ASCII, so valid.
                const std::optional<double> score = count == 3 ? parseScore(fields[2], fields[2] + lengths[2]) : std::nullopt;
                if (score) {
                    line = ScoreLine{lineStart, fields[0], lengths[0], fields[1], lengths[1], *score};
                    m_p = p;
                    return true;
                }
            }
            // Not a score line: its bytes must still be UTF-8.
            if (!(p = skipToLineEnd(lineStart, end))) {
                m_valid = false;
                m_p = m_end;
                return false;
            }
        }
        m_p = p;
        return false;
    }

private:
    const Byte* m_p;
    const Byte* m_end;
    bool m_valid = true;
};

// A score line's word and spelling as composed text.
struct ScoreTexts {
    std::vector<char16_t> wordUnits, hanjaUnits;
    QString wordComposed, hanjaComposed;
    QStringView word, hanja;

    // False when they are not valid UTF-8.
    bool decode(const ScoreLine& line)
    {
        return decodeText(line.word, line.wordBytes, wordUnits, wordComposed, &word)
            && decodeText(line.hanja, line.hanjaBytes, hanjaUnits, hanjaComposed, &hanja);
    }
};

QString pairText(QStringView word, QStringView hanja)
{
    QString pair;
    pair.reserve(word.size() + 1 + hanja.size());
    pair.append(word).append(QChar(u'\t')).append(hanja);
    return pair;
}

// Byte order of two words, as both files keep their lines (which is code point order).
bool lessBytes(const Byte* a, size_t na, const Byte* b, size_t nb)
{
    const size_t n = std::min(na, nb);
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return a[i] < b[i];
    return na < nb;
}

// The first line of hanja_freq.tsv whose word is not before `word` in byte order, when its lines
// are in that order (otherwise some line; reading the table alongside the dictionary then leaves
// lines over, and the general way is taken).
const Byte* scoreLinesFrom(const Byte* const begin, const Byte* const end, const Byte* word, size_t length)
{
    const auto nextLine = [end](const Byte* p) {
        const void* lf = std::memchr(p, '\n', size_t(end - p));
        return lf ? static_cast<const Byte*>(lf) + 1 : end;
    };
    // The first line with a word at or after p (a line start), and that word.
    const auto dataLine = [&](const Byte* p, const Byte* limit, const Byte** w, size_t* n) {
        for (; p < limit; p = nextLine(p)) {
            if (*p == '#' || *p == '\n') continue;
            const Byte* q = p;
            while (q < end && *q == '\t') ++q;
            const Byte* e = q;
            while (e < end && *e != '\t' && *e != '\n') ++e;
            if (e == q) continue;
            *w = q;
            *n = size_t(e - q);
            return p;
        }
        return limit;
    };
    // Lines starting before lo have words before `word`; lines from hi on do not.
    const Byte* lo = begin;
    const Byte* hi = end;
    while (hi - lo > 4096) {
        const Byte* mid = nextLine(lo + (hi - lo) / 2 - 1);
        if (mid >= hi) break; // one long line: read on from lo
        const Byte* w = nullptr;
        size_t n = 0;
        const Byte* const line = dataLine(mid, hi, &w, &n);
        if (line == hi)
            hi = mid;
        else if (lessBytes(w, n, word, length))
            lo = nextLine(line);
        else
            hi = line;
    }
    for (;;) {
        const Byte* w = nullptr;
        size_t n = 0;
        const Byte* const line = dataLine(lo, hi, &w, &n);
        if (line == hi || !lessBytes(w, n, word, length)) return line;
        lo = nextLine(line);
    }
}

} // namespace

HanjaEntry::HanjaEntry(const QString& hangul, const QString& hanja, const QString& meaning)
{
    const QString a = TextUtil::nfc(hangul);
    const QString b = TextUtil::nfc(hanja);
    const QString c = TextUtil::nfc(meaning);
    m_own = a + b + c;
    m_hangul = m_own.constData();
    m_hangulLen = a.size();
    m_hanja = m_hangul + a.size();
    m_hanjaLen = b.size();
    m_meaning = m_hanja + b.size();
    m_meaningLen = c.size();
}

size_t qHash(const HanjaEntry& entry, size_t seed) noexcept
{
    return qHashMulti(seed, entry.hangul(), entry.hanja(), entry.meaning());
}

struct HanjaDictionary::Data {
    // Key k of a part: its text is keyText[offset, next key's offset), its entries are
    // entries[firstEntry, next key's firstEntry); a closing key ends both lists.
    struct Key {
        quint32 offset;
        quint32 entryAndFlag; // first entry, and the top bit: some spelling has a score

        quint32 firstEntry() const { return entryAndFlag & 0x7FFFFFFF; }
        bool anyScored() const { return entryAndFlag & 0x80000000u; }
    };
    // The meaning follows the spelling directly in the text. Lengths of 0xFFFF or more are kept
    // in longEntries, by offset, and both fields here read 0xFFFF.
    struct Entry {
        quint32 hanjaOffset;
        quint16 hanjaLength;
        quint16 meaningLength;
    };
    struct LongEntry {
        quint32 hanjaOffset;
        quint32 hanjaLength;
        quint32 meaningLength;
    };
    struct Gloss {
        quint32 part;
        quint32 charOffset;
        quint32 charLength;
        quint32 glossOffset;
        quint32 glossLength;
    };

    struct ScoreMerge;

    // A stretch of whole lines of the dictionary, parsed on its own: the file's head and tail
    // are read by two threads and kept as they are, with one index over both.
    struct Part {
        QString keyText; // each word once
        QString text;    // each entry's spelling and meaning
        std::vector<Key> keys; // runs of lines with the same word while loading
        std::vector<Entry> entries;
        std::vector<LongEntry> longEntries;
        std::vector<Gloss> glosses; // candidates in file order until indexed
        std::vector<quint64> runHashes; // of runs not indexed yet
        quint32 wordsUsed = 0;
        quint32 textUsed = 0;

        quint32 keyCount() const { return keys.empty() ? 0 : quint32(keys.size() - 1); }
        quint32 keyLength(const Key& k) const { return (&k + 1)->offset - k.offset; }
        quint32 entryCount(const Key& k) const { return (&k + 1)->firstEntry() - k.firstEntry(); }
        const char16_t* words() const { return unitsOf(keyText); }
        const char16_t* units() const { return unitsOf(text); }
        std::pair<quint32, quint32> lengths(const Entry& e) const
        {
            if (e.hanjaLength != 0xFFFF) return {e.hanjaLength, e.meaningLength};
            const auto it = std::lower_bound(longEntries.begin(), longEntries.end(), e.hanjaOffset,
                                             [](const LongEntry& l, quint32 offset) { return l.hanjaOffset < offset; });
            return {it->hanjaLength, it->meaningLength};
        }

        bool parse(const Byte* p, const Byte* end, quint32 part, ScoreMerge* scores);
        void append(Part& tail);
        void finishText();
    };

    // The frequency table read alongside a part: both files keep their lines in the same order
    // (words in byte order), so the score lines of a word come as its lines do, and are applied
    // when its lines end. Words and spellings are compared as bytes, which for text that needs
    // no composition is comparing the texts, and which shows them valid UTF-8 too; the others are
    // decoded. Lines that do not fit that order are left over for the caller, which looks their
    // words up afterwards.
    struct ScoreMerge {
        struct Taken {
            const Byte* hanja;
            size_t hanjaBytes;
            double score;
        };
        struct Spelling {
            const Byte* bytes;
            size_t length;
        };
        ScoreReader reader;
        ScoreLine line{};
        bool more = false;
        bool valid = true; // spellings decoded here were valid UTF-8
        std::vector<Taken> taken; // the word's lines
        std::vector<Spelling> spellings; // its entries' spellings as bytes, while it has lines
        bool oddSpellings = false; // some may need composition
        qsizetype pairs = 0;       // distinct pairs that matched entries
        QSet<QString> others;      // pairs of the words that matched none
        std::vector<const Byte*> leftover; // lines whose word did not come
        std::vector<double> scores;
        std::vector<std::pair<double, Entry>> order;
        std::vector<char16_t> decoded;
        QString composed;

        ScoreMerge(const Byte* begin, const Byte* end)
            : reader(begin, end)
        {
            more = reader.next(line);
        }
        // Takes the score lines of a word that starts, given as its bytes in the file; lines
        // before it that are not its own are left over.
        void startWord(const Byte* bytes, size_t length)
        {
            for (; more; more = reader.next(line)) {
                if (line.wordBytes == length && sameBytes(line.word, bytes, length))
                    taken.push_back(Taken{line.hanja, line.hanjaBytes, line.score});
                else if (lessBytes(line.word, line.wordBytes, bytes, length))
                    leftover.push_back(line.line);
                else
                    break;
            }
        }
        // An entry of the word, by its spelling's bytes; odd when its text may need composition.
        void addEntry(const Byte* bytes, size_t length, bool odd)
        {
            if (taken.empty()) return;
            spellings.push_back(Spelling{bytes, length});
            oddSpellings |= odd;
        }
        void finishWord(Part& part, Key& key, const char16_t* entryText, QStringView word);
        void finish()
        {
            for (; more; more = reader.next(line)) leftover.push_back(line.line);
        }

    private:
        QStringView decode(const Taken& t);
    };

    struct KeyRef {
        const Part* part = nullptr;
        const Key* key = nullptr;
        explicit operator bool() const { return key != nullptr; }
    };

    Part parts[2]; // head, tail
    quint32 headKeys = 0; // key ids below are the head's, the others the tail's
    HashIndex keyIndex;
    std::vector<Gloss> glosses;
    HashIndex glossIndex;
    qsizetype scoreCount = 0;
    std::vector<std::pair<quint32, quint32>> repeats; // while loading: (run, the earlier run of its word)

    qsizetype keyCount() const { return qsizetype(parts[0].keyCount()) + parts[1].keyCount(); }
    KeyRef keyAt(quint32 id) const
    {
        return id < headKeys ? KeyRef{&parts[0], &parts[0].keys[id]} : KeyRef{&parts[1], &parts[1].keys[id - headKeys]};
    }
    quint32 idOf(const KeyRef& k) const
    {
        return quint32(k.key - k.part->keys.data()) + (k.part == &parts[0] ? 0 : headKeys);
    }
    bool keyIs(quint32 id, const char16_t* word, quint32 length) const
    {
        const KeyRef k = keyAt(id);
        return k.part->keyLength(*k.key) == length && sameText(k.part->words() + k.key->offset, word, length);
    }

    KeyRef findKey(QStringView word, quint64 hash) const
    {
        const auto id = keyIndex.find(hash, [&](quint32 i) { return keyIs(i, word.utf16(), quint32(word.size())); });
        return id ? keyAt(*id) : KeyRef{};
    }
    KeyRef findKey(QStringView word) const { return findKey(word, hashText(word)); }

    HanjaEntry entry(const KeyRef& k, const Entry& e) const
    {
        const auto [hanjaLength, meaningLength] = k.part->lengths(e);
        HanjaEntry out;
        out.m_hangul = k.part->keyText.constData() + k.key->offset;
        out.m_hangulLen = k.part->keyLength(*k.key);
        out.m_hanja = k.part->text.constData() + e.hanjaOffset;
        out.m_hanjaLen = hanjaLength;
        out.m_meaning = out.m_hanja + hanjaLength;
        out.m_meaningLen = meaningLength;
        return out;
    }

    // The word of a score line: among the few after the last one found first, since score lines
    // usually come in the dictionary's order, and then by its hash.
    KeyRef locate(QStringView word, quint32& cursor) const
    {
        const quint32 total = quint32(keyCount());
        for (quint32 k = cursor, stop = std::min(cursor + 8, total); k < stop; ++k) {
            if (keyIs(k, word.utf16(), quint32(word.size()))) {
                cursor = k;
                return keyAt(k);
            }
        }
        const KeyRef key = findKey(word);
        if (key) cursor = idOf(key);
        return key;
    }

    void indexRuns(quint32 partNo);
    void joinRepeatedWords();
    void indexGlosses();
    bool matchEntries(const KeyRef& key, QStringView hanja, double score, double* scores, qsizetype* pairs) const;
    void sortByScore(const KeyRef& key, const double* scores, std::vector<std::pair<double, Entry>>& scratch);
    void unscore();
    bool scoreAll(const Byte* begin, const Byte* end);
};

namespace {

// A word's entries, in file order, put in score order: highest first (no score counts as 0),
// ties in file order. A stable insertion sort: lists are short.
template <typename Entry>
void sortEntries(Entry* entries, quint32 n, const double* scores, std::vector<std::pair<double, Entry>>& order)
{
    order.clear();
    for (quint32 i = 0; i < n; ++i) {
        const double score = std::isnan(scores[i]) ? 0.0 : scores[i];
        size_t at = order.size();
        order.emplace_back();
        for (; at > 0 && order[at - 1].first < score; --at) order[at] = order[at - 1];
        order[at] = {score, entries[i]};
    }
    for (quint32 i = 0; i < n; ++i) entries[i] = order[i].second;
}

} // namespace

// A score line's spelling as composed text; empty and not valid when it is not UTF-8.
QStringView HanjaDictionary::Data::ScoreMerge::decode(const Taken& t)
{
    QStringView text;
    if (!decodeText(t.hanja, t.hanjaBytes, decoded, composed, &text)) valid = false;
    return text;
}

// Applies the word's score lines to its entries, the last line of a spelling winning, and puts
// them in score order. A pair is counted when it first gives an entry a score.
void HanjaDictionary::Data::ScoreMerge::finishWord(Part& part, Key& key, const char16_t* entryText, QStringView word)
{
    if (taken.empty()) return;
    Entry* const entries = part.entries.data() + key.firstEntry();
    const quint32 n = quint32(part.entries.size()) - key.firstEntry();
    scores.assign(n, std::numeric_limits<double>::quiet_NaN());
    bool any = false;
    for (const Taken& t : taken) {
        bool matched = false;
        const auto give = [&](quint32 i) {
            if (!matched && std::isnan(scores[i])) ++pairs;
            matched = true;
            scores[i] = t.score;
        };
        if (!oddSpellings) {
            for (quint32 i = 0; i < n; ++i)
                if (spellings[i].length == t.hanjaBytes && sameBytes(spellings[i].bytes, t.hanja, t.hanjaBytes)) give(i);
        }
        if (!matched) {
            const QStringView hanja = decode(t);
            if (!valid) break;
            for (quint32 i = 0; i < n; ++i) {
                const quint32 length = part.lengths(entries[i]).first;
                if (length == quint32(hanja.size()) && sameText(entryText + entries[i].hanjaOffset, hanja.utf16(), length)) give(i);
            }
            if (!matched) others.insert(pairText(word, hanja));
        }
        any |= matched;
    }
    taken.clear();
    spellings.clear();
    oddSpellings = false;
    if (!any) return;
    key.entryAndFlag |= 0x80000000u;
    if (n >= 2 && TextUtil::characterCount(word) >= 2) sortEntries(entries, n, scores.data(), order);
}

// One pass over the bytes of whole lines: lines and fields are found on the UTF-8 text, and only
// the fields that are kept are decoded, straight into the text, which has room for a unit per
// byte. A word repeated on the next line (the usual case) is compared as bytes and not decoded
// again; a new word is hashed as it is decoded, for indexRuns(). With scores, the frequency
// table's lines for these words are read alongside. False when the bytes are not valid UTF-8.
bool HanjaDictionary::Data::Part::parse(const Byte* p, const Byte* const end, quint32 part, ScoreMerge* scores)
{
    // Sized for the shipped file (a unit of words for 8.5 bytes, of entry text for 6.6 bytes,
    // lines of 21 bytes); all grow past that.
    Arena words(keyText, (end - p) / 6);
    Arena arena(text, (end - p) / 5);
    const size_t rows = size_t((end - p) / 16 + 16);
    keys.reserve(rows);
    entries.reserve(rows);
    runHashes.reserve(rows);

    // A new run of lines with one word: the score lines of the word before are applied, and
    // those of this one taken.
    const auto startRun = [&](quint32 wordOffset, const Byte* bytes, size_t byteCount) {
        if (scores) {
            if (!keys.empty())
                scores->finishWord(*this, keys.back(), arena.at(0), words.view(keys.back().offset, wordOffset - keys.back().offset));
            scores->startWord(bytes, byteCount);
        }
        keys.push_back(Key{wordOffset, quint32(entries.size())});
    };

    const Byte* currentBytes = nullptr;
    size_t currentLength = 0;
    const Byte* stretch = p;
    while (p < end) {
        if (p >= stretch) {
            stretch = stretchEnd(p, end);
            words.ensure(stretch - p);
            arena.ensure(stretch - p);
        }
        if (*p == '\n') {
            ++p;
            continue;
        }
        const Byte* const lineStart = p;
        if (currentBytes && size_t(end - p) > currentLength && p[currentLength] == '\t'
            && sameBytes(p, currentBytes, currentLength)) {
            p += currentLength;
        } else {
            char16_t* const start = words.cursor();
            char16_t* out = start;
            quint64 h = kHashSeed;
            unsigned odd = 0;
            p = decodeField(p, end, odd, [&](char16_t u) {
                *out++ = u;
                h = hashStep(h, u);
            });
            if (!p) return false;
            if (p == end || *p == '\n') continue; // no TAB: not an entry
            words.setCursor(out);
            const quint32 wordOffset = words.offset(start);
            qsizetype wordLength = out - start;
            if (odd && !TextUtil::isSimple(words.view(wordOffset, wordLength))) {
                wordLength = words.compose(wordOffset);
                h = hashText(words.at(wordOffset), wordLength);
            } else {
                h = hashFinish(h, wordLength);
            }
            startRun(wordOffset, lineStart, size_t(p - lineStart));
            runHashes.push_back(h);
            currentBytes = lineStart;
            currentLength = size_t(p - lineStart);
        }
        ++p; // the TAB after the word

        quint32 hanjaOffset, meaningOffset;
        qsizetype hanjaLength, meaningLength = 0;
        const Byte* const hanjaBytes = p;
        bool hanjaOdd = false;
        if (!(p = takeField(arena, p, end, &hanjaOffset, &hanjaLength, &hanjaOdd))) return false;
        const size_t hanjaByteCount = size_t(p - hanjaBytes);
        meaningOffset = arena.used();
        if (p < end && *p == '\t') {
            if (!(p = takeField(arena, p + 1, end, &meaningOffset, &meaningLength))) return false;
            if (p < end && *p == '\t' && !(p = skipToLineEnd(p, end))) return false;
        }
        if (p < end) ++p; // the LF

        if (scores) scores->addEntry(hanjaBytes, hanjaByteCount, hanjaOdd);
        if (hanjaLength < 0xFFFF && meaningLength < 0xFFFF) {
            entries.push_back(Entry{hanjaOffset, quint16(hanjaLength), quint16(meaningLength)});
        } else {
            entries.push_back(Entry{hanjaOffset, 0xFFFF, 0xFFFF});
            longEntries.push_back(LongEntry{hanjaOffset, quint32(hanjaLength), quint32(meaningLength)});
        }

        // Gloss candidates: single-character lines with a usable meaning. The first one for a
        // character wins when they are indexed.
        if (meaningLength > 0 && (hanjaLength == 1 || isOneCharacter(arena.view(hanjaOffset, hanjaLength)))) {
            const QStringView meaning = arena.view(meaningOffset, meaningLength);
            const QStringView gloss = glossOf(meaning);
            if (!gloss.isEmpty())
                glosses.push_back(Gloss{part, hanjaOffset, quint32(hanjaLength),
                                        quint32(meaningOffset + (gloss.data() - meaning.data())), quint32(gloss.size())});
        }
    }
    wordsUsed = words.used();
    textUsed = arena.used();
    if (scores) {
        if (!keys.empty()) scores->finishWord(*this, keys.back(), arena.at(0), words.view(keys.back().offset, wordsUsed - keys.back().offset));
        scores->finish();
    }
    keys.push_back(Key{wordsUsed, quint32(entries.size())});
    return true;
}

// Takes the tail's lines after the head's own (only to join words on lines far apart).
void HanjaDictionary::Data::Part::append(Part& tail)
{
    const auto copyText = [](QString& to, quint32 used, const QString& from, quint32 count) {
        if (qsizetype(used) + count > to.size()) to.resize(qsizetype(used) + count);
        std::copy(unitsOf(from), unitsOf(from) + count, reinterpret_cast<char16_t*>(to.data()) + used);
    };
    copyText(keyText, wordsUsed, tail.keyText, tail.wordsUsed);
    copyText(text, textUsed, tail.text, tail.textUsed);
    const quint32 firstEntry = quint32(entries.size());
    keys.pop_back();
    for (const Key& k : tail.keys) keys.push_back(Key{k.offset + wordsUsed, k.entryAndFlag + firstEntry});
    for (const Entry& e : tail.entries) entries.push_back(Entry{e.hanjaOffset + textUsed, e.hanjaLength, e.meaningLength});
    for (const LongEntry& l : tail.longEntries)
        longEntries.push_back(LongEntry{l.hanjaOffset + textUsed, l.hanjaLength, l.meaningLength});
    for (const Gloss& g : tail.glosses)
        glosses.push_back(Gloss{0, g.charOffset + textUsed, g.charLength, g.glossOffset + textUsed, g.glossLength});
    wordsUsed += tail.wordsUsed;
    textUsed += tail.textUsed;
    tail = Part();
    tail.keys.push_back(Key{0, 0});
}

// Gives back the room reserved for text.
void HanjaDictionary::Data::Part::finishText()
{
    keyText.resize(wordsUsed);
    keyText.squeeze();
    text.resize(textUsed);
    text.squeeze();
}

// Indexes a part's words (their hashes were kept), the head's before the tail's; a word met
// before is noted as a repeat, for joinRepeatedWords(). The slots are fetched a few words ahead.
void HanjaDictionary::Data::indexRuns(quint32 partNo)
{
    Part& part = parts[partNo];
    const quint32 first = partNo == 0 ? 0 : headKeys;
    const quint32 runs = part.keyCount();
    const char16_t* const words = part.words();
    constexpr quint32 kAhead = 8;
    for (quint32 r = 0; r < runs; ++r) {
        if (r + kAhead < runs) keyIndex.prefetchSlot(part.runHashes[r + kAhead]);
        const Key& key = part.keys[r];
        const quint32 length = part.keyLength(key);
        const char16_t* const word = words + key.offset;
        const quint32 id = keyIndex.findOrInsert(
            part.runHashes[r], first + r, [&](quint32 i) { return keyIs(i, word, length); },
            [&](quint32 i) {
                const KeyRef k = keyAt(i);
                return hashText(k.part->words() + k.key->offset, k.part->keyLength(*k.key));
            });
        if (id != first + r) repeats.emplace_back(first + r, id);
    }
    std::vector<quint64>().swap(part.runHashes);
}

// Words on lines that are not adjacent: all lines are taken into the head, and each word's runs
// are joined under its first one, in file order.
void HanjaDictionary::Data::joinRepeatedWords()
{
    Part& all = parts[0];
    all.append(parts[1]);
    std::sort(repeats.begin(), repeats.end());
    const quint32 runs = all.keyCount();
    std::vector<quint32> keyOfRun(runs);
    std::vector<quint32> count;
    std::vector<Key> joined;
    QString joinedText;
    joinedText.reserve(all.wordsUsed);
    size_t nextRepeat = 0;
    for (quint32 r = 0; r < runs; ++r) {
        if (nextRepeat < repeats.size() && repeats[nextRepeat].first == r) {
            keyOfRun[r] = keyOfRun[repeats[nextRepeat++].second];
        } else {
            keyOfRun[r] = quint32(joined.size());
            joined.push_back(Key{quint32(joinedText.size()), 0});
            joinedText.append(QStringView(all.keyText).sliced(all.keys[r].offset, all.keyLength(all.keys[r])));
            count.push_back(0);
        }
        count[keyOfRun[r]] += all.entryCount(all.keys[r]);
    }
    quint32 next = 0;
    for (size_t k = 0; k < joined.size(); ++k) {
        joined[k].entryAndFlag = next;
        next += count[k];
        count[k] = 0;
    }
    std::vector<Entry> grouped(all.entries.size());
    for (quint32 r = 0; r < runs; ++r) {
        const quint32 k = keyOfRun[r];
        const auto from = all.entries.begin() + all.keys[r].firstEntry();
        std::copy(from, from + all.entryCount(all.keys[r]), grouped.begin() + joined[k].firstEntry() + count[k]);
        count[k] += all.entryCount(all.keys[r]);
    }
    joined.push_back(Key{quint32(joinedText.size()), next});
    all.keys.swap(joined);
    all.entries.swap(grouped);
    all.keyText = joinedText;
    all.wordsUsed = quint32(all.keyText.size());
    headKeys = all.keyCount();
    std::vector<std::pair<quint32, quint32>>().swap(repeats);

    // The words are distinct now, and their ids have changed.
    const auto hashOf = [&](quint32 k) { return hashText(all.words() + all.keys[k].offset, all.keyLength(all.keys[k])); };
    keyIndex.reserve(headKeys);
    for (quint32 k = 0; k < headKeys; ++k) keyIndex.findOrInsert(hashOf(k), k, [](quint32) { return false; }, hashOf);
}

// The first gloss of each character wins.
void HanjaDictionary::Data::indexGlosses()
{
    glosses.reserve(parts[0].glosses.size() + parts[1].glosses.size());
    glossIndex.reserve(quint32(glosses.capacity()));
    const auto textOf = [&](const Gloss& g) { return parts[g.part].units() + g.charOffset; };
    for (Part& part : parts) {
        for (const Gloss& g : part.glosses) {
            const quint32 newId = quint32(glosses.size());
            const quint32 id = glossIndex.findOrInsert(
                hashText(textOf(g), g.charLength), newId,
                [&](quint32 i) { return glosses[i].charLength == g.charLength && sameText(textOf(glosses[i]), textOf(g), g.charLength); },
                [&](quint32 i) { return hashText(textOf(glosses[i]), glosses[i].charLength); });
            if (id == newId) glosses.push_back(g);
        }
        std::vector<Gloss>().swap(part.glosses);
    }
}

// Gives a score line to the word's entries with its spelling (scores by entry of the word, NaN
// for none yet). A pair is counted the first time it matches. False when no entry matches.
Q_ALWAYS_INLINE bool HanjaDictionary::Data::matchEntries(const KeyRef& key, QStringView hanja, double score, double* scores,
                                                         qsizetype* pairs) const
{
    const Part& part = *key.part;
    const Entry* const entries = part.entries.data() + key.key->firstEntry();
    const quint32 n = part.entryCount(*key.key);
    const quint32 length = quint32(hanja.size());
    bool matched = false;
    for (quint32 i = 0; i < n; ++i) {
        const Entry& e = entries[i];
        if ((e.hanjaLength == 0xFFFF ? part.lengths(e).first : e.hanjaLength) != length
            || !sameText(part.units() + e.hanjaOffset, hanja.utf16(), length))
            continue;
        if (!matched && std::isnan(scores[i])) ++*pairs;
        matched = true;
        scores[i] = score;
    }
    return matched;
}

// Puts a word's entries, in file order, in score order. One-character words and words with one
// entry stay as they are.
void HanjaDictionary::Data::sortByScore(const KeyRef& key, const double* scores, std::vector<std::pair<double, Entry>>& order)
{
    Part& part = const_cast<Part&>(*key.part);
    const quint32 n = part.entryCount(*key.key);
    if (n < 2 || TextUtil::characterCount(QStringView(part.words() + key.key->offset, part.keyLength(*key.key))) < 2) return;
    sortEntries(part.entries.data() + key.key->firstEntry(), n, scores, order);
}

// Takes back all scores: no word has a scored spelling, and every word's entries are back in
// file order, which is text order: an entry's text follows the one before it, and only an entry
// with no text at all can share its offset with the next one.
void HanjaDictionary::Data::unscore()
{
    for (Part& part : parts) {
        for (quint32 k = 0; k < part.keyCount(); ++k) {
            Key& key = part.keys[k];
            key.entryAndFlag &= 0x7FFFFFFF;
            Entry* const entries = part.entries.data() + key.firstEntry();
            std::sort(entries, entries + part.entryCount(key), [&](const Entry& a, const Entry& b) {
                if (a.hanjaOffset != b.hanjaOffset) return a.hanjaOffset < b.hanjaOffset;
                const auto la = part.lengths(a), lb = part.lengths(b);
                return la.first + la.second < lb.first + lb.second;
            });
        }
    }
    scoreCount = 0;
}

// The general way: the whole table in file order, each entry's score kept until the end, then
// each scored word's entries put in score order. The entries are in file order. False (and
// nothing changed) when the table is not valid UTF-8.
bool HanjaDictionary::Data::scoreAll(const Byte* begin, const Byte* end)
{
    const quint32 headEntries = quint32(parts[0].entries.size());
    std::vector<double> entryScore(headEntries + parts[1].entries.size(), std::numeric_limits<double>::quiet_NaN());
    std::vector<quint32> scored;
    std::vector<bool> isScored(size_t(keyCount()), false);
    QSet<QString> others;
    qsizetype pairs = 0;
    quint32 cursor = 0;
    const auto scoresOf = [&](const KeyRef& key) {
        return entryScore.data() + (key.part == &parts[0] ? 0 : headEntries) + key.key->firstEntry();
    };
    ScoreReader reader(begin, end);
    ScoreLine line;
    ScoreTexts texts;
    while (reader.next(line)) {
        if (!texts.decode(line)) return false;
        const KeyRef key = locate(texts.word, cursor);
        if (key && matchEntries(key, texts.hanja, line.score, scoresOf(key), &pairs)) {
            const quint32 id = idOf(key);
            if (!isScored[id]) {
                isScored[id] = true;
                scored.push_back(id);
            }
        } else {
            others.insert(pairText(texts.word, texts.hanja));
        }
    }
    if (!reader.valid()) return false;
    std::vector<std::pair<double, Entry>> order;
    for (quint32 id : scored) {
        const KeyRef key = keyAt(id);
        const_cast<Key*>(key.key)->entryAndFlag |= 0x80000000u;
        sortByScore(key, scoresOf(key), order);
    }
    scoreCount = pairs + others.size();
    return true;
}

HanjaDictionary& HanjaDictionary::shared()
{
    static HanjaDictionary* instance = new HanjaDictionary(); // never released: entries point into it
    return *instance;
}

HanjaDictionary::HanjaDictionary(QString folder)
    : m_folder(std::move(folder))
{
}

HanjaDictionary::~HanjaDictionary() = default;

void HanjaDictionary::loadIfNeeded() { data(); }

const HanjaDictionary::Data* HanjaDictionary::data()
{
    if (const Data* d = m_data.load(std::memory_order_acquire)) return d;
    std::lock_guard lock(m_loadMutex);
    if (const Data* d = m_data.load(std::memory_order_acquire)) return d;
    std::unique_ptr<Data> loaded = load();
    if (!loaded) return nullptr;
    m_owned = std::move(loaded);
    // Published only when complete: readers see either nothing or the whole dictionary.
    m_data.store(m_owned.get(), std::memory_order_release);
    Log::write(QStringLiteral("dictionary loaded: %1 keys, %2 char glosses, %3 word scores")
                   .arg(m_owned->keyCount())
                   .arg(m_owned->glosses.size())
                   .arg(m_owned->scoreCount));
    return m_owned.get();
}

namespace {

// Where the second thread's part of the dictionary starts: at a line start near `at`, and past
// the lines of the word there, so that no word is in both parts (which would be joined right,
// but at a cost).
const Byte* splitPoint(const Byte* const begin, const Byte* const end, const Byte* at)
{
    if (at == begin || at == end) return at;
    const auto nextLine = [end](const Byte* p) {
        const void* lf = std::memchr(p, '\n', size_t(end - p));
        return lf ? static_cast<const Byte*>(lf) + 1 : end;
    };
    const Byte* line = at[-1] == '\n' ? at : nextLine(at);
    const Byte* previous = line - 1;
    while (previous != begin && previous[-1] != '\n') --previous;
    for (int lines = 0; line != end && lines < 64; ++lines) {
        const void* tab = std::memchr(previous, '\t', size_t(line - previous));
        if (!tab) break;
        const size_t word = size_t(static_cast<const Byte*>(tab) - previous);
        const Byte* const following = nextLine(line);
        if (size_t(following - line) <= word || line[word] != '\t' || std::memcmp(previous, line, word) != 0) break;
        previous = line;
        line = following;
    }
    return line;
}

} // namespace

std::unique_ptr<HanjaDictionary::Data> HanjaDictionary::load() const
{
    const auto locate = [this](const QString& name) {
        if (m_folder.isEmpty()) return Resources::locate(name);
        const QString path = m_folder + QLatin1Char('/') + name;
        return QFile::exists(path) ? path : QString();
    };

    const QString dictionaryPath = locate(QStringLiteral("hanja.tsv"));
    FileBytes file;
    if (dictionaryPath.isEmpty() || !file.open(dictionaryPath)) {
        Log::write(QStringLiteral("hanja.tsv not found in bundle"));
        return nullptr;
    }
    const QString scoresPath = locate(QStringLiteral("hanja_freq.tsv"));

    // Two threads, each with about half of both files. This one parses the dictionary's head and
    // indexes it, and then indexes the tail that the other one parsed meanwhile; each reads its
    // half of the frequency table alongside its half of the dictionary. The result is that of one
    // pass in file order whatever the split and the timing: the parts are kept as they were, the
    // words indexed in file order, and when the two files are not in the same order the table is
    // read again the general way. The head is the smaller part, as this thread also indexes the
    // tail.
    const Byte* const begin = file.begin();
    const Byte* const end = file.end();
    FileBytes scoresFile;
    const bool haveScores = !scoresPath.isEmpty() && scoresFile.open(scoresPath);
    const Byte* const split = splitPoint(begin, end, begin + file.size() * 43 / 100);
    const Byte* scoresSplit = nullptr;
    if (haveScores) {
        // The tail's score lines start at its first word.
        const Byte* word = split;
        const Byte* tab = nullptr;
        while (word < end && !tab) {
            const auto* lf = static_cast<const Byte*>(std::memchr(word, '\n', size_t(end - word)));
            const Byte* const lineEnd = lf ? lf : end;
            tab = static_cast<const Byte*>(std::memchr(word, '\t', size_t(lineEnd - word)));
            if (!tab) word = lf ? lf + 1 : end;
        }
        scoresSplit = tab ? scoreLinesFrom(scoresFile.begin(), scoresFile.end(), word, size_t(tab - word)) : scoresFile.end();
    }

    auto d = std::make_unique<Data>();
    std::optional<Data::ScoreMerge> headScores, tailScores;
    if (haveScores) {
        headScores.emplace(scoresFile.begin(), scoresSplit);
        tailScores.emplace(scoresSplit, scoresFile.end());
    }
    bool tailParsed = false;
    const auto parseTail = [&] { tailParsed = d->parts[1].parse(split, end, 1, tailScores ? &*tailScores : nullptr); };
    struct Reader {
        std::thread thread;
        ~Reader()
        {
            if (thread.joinable()) thread.join();
        }
    } reader;
    try {
        reader.thread = std::thread(parseTail);
    } catch (const std::system_error&) {
        parseTail();
    }

    const bool headParsed = d->parts[0].parse(begin, split, 0, headScores ? &*headScores : nullptr);
    if (headParsed) {
        // Room in the index for as many words in the tail as in the head, byte for byte.
        d->headKeys = d->parts[0].keyCount();
        const qint64 expected = qint64(d->headKeys) * file.size() / std::max<qint64>(split - begin, 1) * 11 / 10;
        d->keyIndex.reserve(quint32(std::clamp<qint64>(expected, 1024, INT32_MAX)));
        d->indexRuns(0);
    }
    if (reader.thread.joinable()) reader.thread.join();
    if (!headParsed || !tailParsed) {
        Log::write(QStringLiteral("hanja.tsv not found in bundle"));
        return nullptr;
    }
    d->indexRuns(1);
    const bool joined = !d->repeats.empty();
    if (joined) d->joinRepeatedWords();
    d->indexGlosses();

    bool scored = haveScores && headScores->reader.valid() && tailScores->reader.valid() && headScores->valid
        && tailScores->valid;
    if (scored) {
        // Left-over score lines count as pairs unknown to the dictionary, unless their word is
        // known after all: then the files are not in the same order.
        bool sameOrder = !joined;
        ScoreTexts texts;
        QSet<QString>& others = headScores->others;
        others.unite(tailScores->others);
        for (const Data::ScoreMerge* merge : {&*headScores, &*tailScores}) {
            for (size_t i = 0; i < merge->leftover.size() && sameOrder && scored; ++i) {
                const Byte* const line = merge->leftover[i];
                const auto* lf = static_cast<const Byte*>(std::memchr(line, '\n', size_t(scoresFile.end() - line)));
                ScoreReader lineReader(line, lf ? lf + 1 : scoresFile.end());
                ScoreLine left{};
                lineReader.next(left);
                if (!texts.decode(left)) {
                    scored = false; // not valid UTF-8
                    break;
                }
                if (d->findKey(texts.word))
                    sameOrder = false;
                else
                    others.insert(pairText(texts.word, texts.hanja));
            }
        }
        if (!scored) {
            d->unscore();
        } else if (sameOrder) {
            d->scoreCount = headScores->pairs + tailScores->pairs + others.size();
        } else {
            d->unscore();
            scored = d->scoreAll(scoresFile.begin(), scoresFile.end());
        }
    } else if (haveScores) {
        d->unscore();
    }
    for (Data::Part& part : d->parts) part.finishText();
    if (!scored) Log::write(QStringLiteral("hanja_freq.tsv not found in bundle"));
    return d;
}

std::optional<HanjaDictionary::Split> HanjaDictionary::split(const QString& input)
{
    const Data* d = data();
    if (!d) return std::nullopt;
    const QString text = TextUtil::nfc(input);
    const QList<qsizetype> bounds = TextUtil::graphemeBoundaries(text);
    const qsizetype n = bounds.size() - 1;
    if (n < 1) return std::nullopt;

    bool found = false;
    qsizetype longestUnits = 0;
    for (qsizetype k = n; k >= 2; --k) {
        const Data::KeyRef key = d->findKey(QStringView(text).first(bounds[k]));
        if (!key) continue;
        if (key.key->anyScored()) return Split{text.first(bounds[k]), text.sliced(bounds[k])};
        if (!found) {
            found = true;
            longestUnits = bounds[k];
        }
    }
    if (found) return Split{text.first(longestUnits), text.sliced(longestUnits)};
    if (n == 1 && d->findKey(text)) return Split{text, QString()};
    return std::nullopt;
}

QList<HanjaEntry> HanjaDictionary::candidates(const QString& word)
{
    const Data* d = data();
    if (!d) return {};
    const Data::KeyRef key = d->findKey(TextUtil::nfc(TextUtil::trimmed(word)));
    if (!key) return {};
    const quint32 first = key.key->firstEntry(), count = key.part->entryCount(*key.key);
    QList<HanjaEntry> out;
    out.reserve(count);
    for (quint32 i = first; i < first + count; ++i) out.append(d->entry(key, key.part->entries[i]));
    return out;
}

QString HanjaDictionary::charGloss(QStringView character)
{
    const Data* d = data();
    if (!d) return QString();
    const QString c = TextUtil::nfc(character.toString());
    const auto id = d->glossIndex.find(hashText(c), [&](quint32 g) {
        const Data::Gloss& x = d->glosses[g];
        return QStringView(d->parts[x.part].units() + x.charOffset, x.charLength) == c;
    });
    if (!id) return QString();
    const Data::Gloss& x = d->glosses[*id];
    return QStringView(d->parts[x.part].units() + x.glossOffset, x.glossLength).toString();
}

qsizetype HanjaDictionary::keyCount()
{
    const Data* d = data();
    return d ? d->keyCount() : 0;
}

qsizetype HanjaDictionary::glossCount()
{
    const Data* d = data();
    return d ? qsizetype(d->glosses.size()) : 0;
}

qsizetype HanjaDictionary::scoreCount()
{
    const Data* d = data();
    return d ? d->scoreCount : 0;
}
