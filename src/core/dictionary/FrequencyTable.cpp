// The frequency table. A score line is found and its number read on the bytes; only its word and
// spelling are decoded, back to back into one text. Applying it looks each word up first just
// after the last one found, as the table keeps the dictionary's order. Scores are kept by entry
// until the end, when each scored word's few entries are sorted once.
#include "core/dictionary/FrequencyTable.h"

#include "base/TextUtil.h"
#include "core/dictionary/TextArena.h"
#include "core/dictionary/Utf8Scan.h"

#include <QSet>

#include <charconv>
#include <cstring>
#include <cmath>
#include <limits>
#include <optional>

using namespace Utf8Scan;
using DictionaryText::sameText;

namespace {

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

// Decodes a word or spelling field not checked before at the arena's cursor, composed, keeping
// room for `roomStillNeeded` more units; false when it is not valid UTF-8. Such a field always
// ends at a TAB, so decoding runs on to the end of the table (end), which keeps it on the fast
// path to its last character, and stops there.
Q_ALWAYS_INLINE bool decodeInto(TextArena& arena, const Byte* bytes, size_t length, const Byte* end,
                                qsizetype roomStillNeeded, quint32* offset, qsizetype* units)
{
    char16_t* const start = arena.cursor();
    char16_t* out = start;
    unsigned odd = 0;
    if (decodeField(bytes, end, odd, [&out](char16_t u) { *out++ = u; }) != bytes + length) return false;
    arena.setCursor(out);
    *offset = arena.offset(start);
    *units = out - start;
    if (odd && !TextUtil::isSimple(arena.view(*offset, *units))) *units = arena.compose(*offset, roomStillNeeded);
    return true;
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
    // The start of the first line found not valid UTF-8, or nullptr.
    const Byte* invalidLine() const { return m_invalid; }

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
                    size_t length = size_t(p - field);
                    // A CR that ends the line (CRLF) is not part of the field; alone it is none.
                    if (field[length - 1] == '\r' && (p == end || *p == '\n') && --length == 0) continue;
                    if (count < 3) {
                        fields[count] = field;
                        lengths[count] = length;
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
                m_invalid = lineStart;
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
    const Byte* m_invalid = nullptr;
};

QString pairText(QStringView word, QStringView hanja)
{
    QString pair;
    pair.reserve(word.size() + 1 + hanja.size());
    pair.append(word).append(QChar(u'\t')).append(hanja);
    return pair;
}

// A word's entries, in file order, put in score order: highest first (no score counts as 0),
// ties in file order. A stable insertion sort: lists are short.
using Entry = DictionaryData::Entry;

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

FrequencyTable::Lines FrequencyTable::read(const Byte* begin, const Byte* end)
{
    Lines table;
    // Text takes no more units than bytes, unless composing adds some.
    TextArena arena(table.text, end - begin);
    table.lines.reserve(size_t((end - begin) / 24 + 16));
    ScoreReader reader(begin, end);
    ScoreLine line;
    while (reader.next(line)) {
        arena.ensure(qsizetype(line.wordBytes + line.hanjaBytes));
        quint32 wordOffset, hanjaOffset;
        qsizetype wordLength, hanjaLength;
        if (!decodeInto(arena, line.word, line.wordBytes, end, qsizetype(line.hanjaBytes), &wordOffset, &wordLength)
            || !decodeInto(arena, line.hanja, line.hanjaBytes, end, 0, &hanjaOffset, &hanjaLength)) {
            table.invalid = line.line;
            break;
        }
        table.lines.push_back(Lines::Line{wordOffset, quint32(wordLength), quint32(hanjaLength), line.score});
    }
    if (!table.invalid) table.invalid = reader.invalidLine();
    table.text.truncate(arena.used());
    return table;
}

void FrequencyTable::apply(DictionaryData& data, const Lines& table)
{
    // Scores by entry number over both parts, NaN for none, until every line is read.
    const quint32 headEntries = quint32(data.parts[0].entries.size());
    std::vector<double> entryScore(headEntries + data.parts[1].entries.size(), std::numeric_limits<double>::quiet_NaN());
    std::vector<bool> isScored(size_t(data.keyCount()), false);
    std::vector<quint32> scored;
    QSet<QString> others; // pairs that match no entry still count
    qsizetype pairs = 0;
    quint32 cursor = 0;
    for (const Lines::Line& line : table.lines) {
        const QStringView word = table.word(line), hanja = table.hanja(line);
        const DictionaryData::KeyRef key = data.locate(word, cursor);
        bool matched = false;
        if (key) {
            const DictionaryData::Part& part = *key.part;
            const quint32 first = key.key->firstEntry(), n = part.entryCount(*key.key);
            double* const scores = entryScore.data() + (key.part == &data.parts[0] ? 0 : headEntries) + first;
            const quint32 length = quint32(hanja.size());
            const char16_t* const units = part.units();
            for (quint32 i = 0; i < n; ++i) {
                const Entry& e = part.entries[first + i];
                if ((e.hanjaLength == 0xFFFF ? part.lengths(e).first : e.hanjaLength) != length
                    || !sameText(units + e.hanjaOffset, hanja.utf16(), length))
                    continue;
                // Every entry of the pair is scored at once: the first one tells if it was before.
                pairs += !matched && std::isnan(scores[i]);
                scores[i] = line.score;
                matched = true;
            }
            const quint32 id = data.idOf(key);
            if (matched && !isScored[id]) {
                isScored[id] = true;
                scored.push_back(id);
            }
        }
        if (!matched) others.insert(pairText(word, hanja));
    }

    // Each scored word is marked, and its entries put in score order, except one-character words
    // and words with one entry, which keep file order.
    std::vector<std::pair<double, Entry>> order;
    for (quint32 id : scored) {
        const DictionaryData::KeyRef key = data.keyAt(id);
        DictionaryData::Part& part = data.parts[key.part == &data.parts[0] ? 0 : 1];
        DictionaryData::Key& k = part.keys.owned()[size_t(key.key - part.keys.data())];
        k.entryAndFlag |= 0x80000000u;
        Entry* const entries = part.entries.owned().data() + k.firstEntry();
        const double* const scores = entryScore.data() + (key.part == &data.parts[0] ? 0 : headEntries) + k.firstEntry();
        const quint32 n = part.entryCount(k);
        if (n >= 2 && TextUtil::characterCount(QStringView(part.words() + k.offset, part.keyLength(k))) >= 2)
            sortEntries(entries, n, scores, order);
    }
    data.scoreCount = pairs + others.size();
}
