// The dictionary file's parser. Lines and fields are found on the UTF-8 bytes and only the fields
// that are kept are decoded, straight into the part's text; a word repeated on the next line (the
// usual case, as the file groups a word's lines) is compared as bytes and not decoded again, and
// a new word is hashed while it is decoded, ready for the index.
#include "core/dictionary/DictionaryParser.h"

#include "base/TextUtil.h"
#include "core/dictionary/TextArena.h"
#include "core/dictionary/Utf8Scan.h"

#include <cstring>

using namespace Utf8Scan;
using DictionaryText::hashFinish;
using DictionaryText::hashStep;
using DictionaryText::hashText;

namespace {

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
// field is [offset, offset + length). A CR that ends the line (CRLF) is not part of it. Room is
// kept for the rest of the stretch, which ends at `stretch`. Returns where it stopped, nullptr on
// invalid UTF-8.
Q_ALWAYS_INLINE const Byte* takeField(TextArena& arena, const Byte* p, const Byte* end, const Byte* stretch,
                                      quint32* offset, qsizetype* length)
{
    char16_t* const start = arena.cursor();
    char16_t* out = start;
    unsigned unusual = 0;
    p = decodeField(p, end, unusual, [&out](char16_t u) { *out++ = u; });
    if (!p) return nullptr;
    if (unusual && out > start && out[-1] == u'\r' && (p == end || *p == '\n')) --out;
    arena.setCursor(out);
    *offset = arena.offset(start);
    *length = out - start;
    if (unusual && !TextUtil::isSimple(arena.view(*offset, *length))) *length = arena.compose(*offset, stretch - p);
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

} // namespace

const Byte* DictionaryParser::parse(DictionaryData::Part& part, const Byte* p, const Byte* const end, quint32 partNo)
{
    using Key = DictionaryData::Key;
    using Entry = DictionaryData::Entry;
    // Sized for the shipped file (a unit of words for 8.5 bytes, of entry text for 6.6 bytes,
    // lines of 21 bytes); all grow past that.
    TextArena words(part.keyText, (end - p) / 6);
    TextArena arena(part.text, (end - p) / 5);
    std::vector<Key>& keys = part.keys.owned();
    std::vector<Entry>& entries = part.entries.owned();
    const size_t rows = size_t((end - p) / 16 + 16);
    keys.reserve(rows);
    entries.reserve(rows);
    part.runHashes.reserve(rows);

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
            quint64 h = DictionaryText::kHashSeed;
            unsigned odd = 0;
            p = decodeField(p, end, odd, [&](char16_t u) {
                *out++ = u;
                h = hashStep(h, u);
            });
            if (!p) return lineStart;
            if (p == end || *p == '\n') continue; // no TAB: not an entry
            words.setCursor(out);
            const quint32 wordOffset = words.offset(start);
            qsizetype wordLength = out - start;
            if (odd && !TextUtil::isSimple(words.view(wordOffset, wordLength))) {
                wordLength = words.compose(wordOffset, stretch - p);
                h = hashText(words.at(wordOffset), wordLength);
            } else {
                h = hashFinish(h, wordLength);
            }
            keys.push_back(Key{wordOffset, quint32(entries.size())});
            part.runHashes.push_back(h);
            currentBytes = lineStart;
            currentLength = size_t(p - lineStart);
        }
        ++p; // the TAB after the word

        quint32 hanjaOffset, meaningOffset;
        qsizetype hanjaLength, meaningLength = 0;
        if (!(p = takeField(arena, p, end, stretch, &hanjaOffset, &hanjaLength))) return lineStart;
        meaningOffset = arena.used();
        if (p < end && *p == '\t') {
            if (!(p = takeField(arena, p + 1, end, stretch, &meaningOffset, &meaningLength))) return lineStart;
            if (p < end && *p == '\t' && !(p = skipToLineEnd(p, end))) return lineStart;
        }
        if (p < end) ++p; // the LF

        if (hanjaLength < 0xFFFF && meaningLength < 0xFFFF) {
            entries.push_back(Entry{hanjaOffset, quint16(hanjaLength), quint16(meaningLength)});
        } else {
            entries.push_back(Entry{hanjaOffset, 0xFFFF, 0xFFFF});
            part.longEntries.owned().push_back(DictionaryData::LongEntry{hanjaOffset, quint32(hanjaLength), quint32(meaningLength)});
        }

        // Gloss candidates: single-character lines with a usable meaning. The first one for a
        // character wins when they are indexed.
        if (meaningLength > 0 && (hanjaLength == 1 || isOneCharacter(arena.view(hanjaOffset, hanjaLength)))) {
            const QStringView meaning = arena.view(meaningOffset, meaningLength);
            const QStringView gloss = glossOf(meaning);
            if (!gloss.isEmpty())
                part.glosses.owned().push_back(DictionaryData::Gloss{partNo, hanjaOffset, quint32(hanjaLength),
                                                             quint32(meaningOffset + (gloss.data() - meaning.data())),
                                                             quint32(gloss.size())});
        }
    }
    part.wordsUsed = words.used();
    part.textUsed = arena.used();
    keys.push_back(Key{part.wordsUsed, quint32(entries.size())});
    return nullptr;
}

// Where the second thread's part of the dictionary starts: at a line start near `at`, and past
// the lines of the word there, so that no word is in both parts (which would be joined right,
// but at a cost).
const Byte* DictionaryParser::splitPoint(const Byte* const begin, const Byte* const end, const Byte* at)
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

