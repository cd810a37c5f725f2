#include "core/HanjaDictionary.h"

#include "core/Log.h"
#include "core/Resources.h"
#include "core/TextUtil.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <QByteArray>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <deque>
#include <cmath>
#include <vector>

namespace {

constexpr char16_t kTab = u'\t';
constexpr char16_t kNewline = u'\n';

// FNV-1a over UTF-16 units; it can be fed in pieces, so a (word, TAB, spelling) key hashes
// without being built.
struct Fnv {
    quint64 h = 14695981039346656037ull;
    void add(QStringView s)
    {
        for (QChar c : s) {
            h ^= c.unicode();
            h *= 1099511628211ull;
        }
    }
    void add(char16_t c)
    {
        h ^= c;
        h *= 1099511628211ull;
    }
};

quint64 hashOf(QStringView s)
{
    Fnv f;
    f.add(s);
    return f.h;
}

// Open addressing over record ids (id + 1; 0 is an empty slot). The records and their text are
// kept by the caller; the table only finds them, and asks the caller for hashes when it grows.
class SlotTable {
public:
    void reserve(size_t records)
    {
        size_t size = 16;
        while (size * 3 < records * 4) size *= 2;
        m_slots.assign(size, 0);
        m_mask = size - 1;
    }

    template <typename Matches, typename HashOf>
    quint32 findOrInsert(quint64 hash, quint32 newId, Matches matches, HashOf hashOf)
    {
        if (m_slots.empty() || (m_count + 1) * 4 > m_slots.size() * 3) grow(hashOf);
        size_t i = hash & m_mask;
        while (m_slots[i] != 0) {
            const quint32 id = m_slots[i] - 1;
            if (matches(id)) return id;
            i = (i + 1) & m_mask;
        }
        m_slots[i] = newId + 1;
        ++m_count;
        return newId;
    }

    template <typename Matches>
    std::optional<quint32> find(quint64 hash, Matches matches) const
    {
        if (m_slots.empty()) return std::nullopt;
        size_t i = hash & m_mask;
        while (m_slots[i] != 0) {
            const quint32 id = m_slots[i] - 1;
            if (matches(id)) return id;
            i = (i + 1) & m_mask;
        }
        return std::nullopt;
    }

private:
    template <typename HashOf>
    void grow(HashOf hashOf)
    {
        std::vector<quint32> old;
        old.swap(m_slots);
        m_slots.assign(std::max<size_t>(16, old.size() * 2), 0);
        m_mask = m_slots.size() - 1;
        for (quint32 slot : old) {
            if (slot == 0) continue;
            size_t i = hashOf(slot - 1) & m_mask;
            while (m_slots[i] != 0) i = (i + 1) & m_mask;
            m_slots[i] = slot;
        }
    }

    std::vector<quint32> m_slots;
    size_t m_mask = 0;
    size_t m_count = 0;
};

bool readUtf8(const QString& path, QString* out)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const qint64 size = file.size();
    // Mapping spares a heap copy of the whole file, which would stay in the process's heap.
    if (uchar* mapped = size > 0 ? file.map(0, size) : nullptr) {
        *out = decoder(QByteArrayView(mapped, size));
        file.unmap(mapped);
    } else {
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) return false;
        *out = decoder(bytes);
    }
    return !decoder.hasError();
}

// Strict UTF-8 to UTF-16 (no overlongs, no surrogates, nothing past U+10FFFF). Writes at most
// length units to out; false on invalid input. simple tells whether every unit is simple text
// (TextUtil::isSimpleUnit), which needs no composition.
bool decodeUtf8(const char* bytes, qsizetype length, char16_t* out, qsizetype* written, bool* simple)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    const auto* end = p + length;
    char16_t* o = out;
    bool allSimple = true;
    while (p < end) {
        const unsigned c = *p;
        if (c < 0x80) {
            // ASCII: simple unless a control character other than TAB.
            allSimple &= (c >= 0x20 && c != 0x7F) || c == 0x09;
            *o++ = char16_t(c);
            p += 1;
            continue;
        }
        if ((c & 0xF0) == 0xE0) {
            // The bulk of the data: Hangul syllables and Hanja, three bytes each.
            if (end - p < 3 || (p[1] & 0xC0) != 0x80 || (p[2] & 0xC0) != 0x80) return false;
            const char16_t cp = char16_t(((c & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
            if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
            allSimple &= (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0x3400 && cp <= 0x9FFF)
                || TextUtil::isSimpleUnit(cp);
            *o++ = cp;
            p += 3;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) {
            if (end - p < 2 || (p[1] & 0xC0) != 0x80) return false;
            const char16_t cp = char16_t(((c & 0x1F) << 6) | (p[1] & 0x3F));
            allSimple &= TextUtil::isSimpleUnit(cp);
            *o++ = cp;
            p += 2;
            continue;
        }
        if (c >= 0xF0 && c <= 0xF4) {
            if (end - p < 4 || (p[1] & 0xC0) != 0x80 || (p[2] & 0xC0) != 0x80 || (p[3] & 0xC0) != 0x80) return false;
            const char32_t cp = ((c & 0x07) << 18) | ((p[1] & 0x3F) << 12) | ((p[2] & 0x3F) << 6) | (p[3] & 0x3F);
            if (cp < 0x10000 || cp > 0x10FFFF) return false;
            *o++ = char16_t(0xD800 + ((cp - 0x10000) >> 10));
            *o++ = char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
            allSimple = false;
            p += 4;
            continue;
        }
        return false;
    }
    *written = o - out;
    *simple = allSimple;
    return true;
}

const char* findByte(const char* from, const char* end, char byte)
{
    const void* hit = std::memchr(from, byte, size_t(end - from));
    return hit ? static_cast<const char*>(hit) : end;
}

qsizetype indexOfUnit(QStringView s, char16_t unit, qsizetype from = 0)
{
    for (qsizetype i = from; i < s.size(); ++i)
        if (s[i].unicode() == unit) return i;
    return -1;
}

// A file's bytes, mapped when possible (which spares a heap copy that would stay in the heap).
class FileBytes {
public:
    bool open(const QString& path)
    {
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::ReadOnly)) return false;
        const qint64 size = m_file.size();
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
    const char* data() const { return m_mapped ? reinterpret_cast<const char*>(m_mapped) : m_copy.constData(); }
    qsizetype size() const { return m_size; }

private:
    QFile m_file;
    uchar* m_mapped = nullptr;
    QByteArray m_copy;
    qsizetype m_size = 0;
};

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
std::optional<double> parseScore(QStringView s)
{
    if (s.isEmpty() || s.size() > 64) return std::nullopt;
    char ascii[65];
    qsizetype i = 0;
    for (QChar c : s) {
        const char16_t u = c.unicode();
        const bool allowed = (u >= '0' && u <= '9') || u == '.' || u == '+' || u == '-' || u == 'e' || u == 'E';
        if (!allowed) return std::nullopt;
        ascii[i++] = char(u);
    }
    const char* begin = ascii;
    if (*begin == '+') ++begin; // from_chars takes no plus sign
    if (begin == ascii + i || *begin == '+' || *begin == 'e' || *begin == 'E') return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(begin, ascii + i, value, std::chars_format::general);
    if (error != std::errc() || end != ascii + i || !std::isfinite(value)) return std::nullopt;
    return value;
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
    struct Key {
        quint32 offset;
        quint32 firstEntry;
        quint16 length;
        quint16 countAndFlag; // entry count, and the top bit: some spelling has a score

        quint32 entryCount() const { return countAndFlag & 0x7FFF; }
        bool anyScored() const { return countAndFlag & 0x8000; }
    };
    struct Entry {
        quint32 hanjaOffset; // the meaning follows the spelling directly
        quint16 hanjaLength;
        quint16 meaningLength;
    };
    struct Gloss {
        quint32 charOffset;
        quint32 glossOffset;
        quint16 charLength;
        quint16 glossLength;
    };

    QString text; // each word once, then each entry's spelling and meaning
    std::vector<Key> keys;
    std::vector<Entry> entries;
    SlotTable keyTable;
    std::vector<Gloss> glosses;
    SlotTable glossTable;
    qsizetype scoreCount = 0;

    QStringView view(quint32 offset, quint32 length) const { return QStringView(text).sliced(offset, length); }
    QStringView keyText(const Key& k) const { return view(k.offset, k.length); }

    const Key* findKey(QStringView word) const
    {
        const auto id = keyTable.find(hashOf(word), [&](quint32 i) { return keyText(keys[i]) == word; });
        return id ? &keys[*id] : nullptr;
    }

    HanjaEntry entry(const Key& key, const Entry& e) const
    {
        HanjaEntry out;
        out.m_hangul = text.constData() + key.offset;
        out.m_hangulLen = key.length;
        out.m_hanja = text.constData() + e.hanjaOffset;
        out.m_hanjaLen = e.hanjaLength;
        out.m_meaning = out.m_hanja + e.hanjaLength;
        out.m_meaningLen = e.meaningLength;
        return out;
    }
};

namespace {

// Appends to the arena by offset; the arena grows when composed text turned out longer.
class Arena {
public:
    Arena(QString& text, qsizetype capacity)
        : m_text(text)
    {
        m_text.resize(std::max<qsizetype>(capacity, 16));
        m_data = reinterpret_cast<char16_t*>(m_text.data());
        m_capacity = m_text.size();
    }
    quint32 append(QStringView s)
    {
        char16_t* out = reserve(s.size());
        std::copy(s.utf16(), s.utf16() + s.size(), out);
        return commit(s.size());
    }
    // Room for up to units more; the caller writes there and commits what it wrote.
    char16_t* reserve(qsizetype units)
    {
        if (m_used + units > m_capacity) {
            m_text.resize(std::max(m_capacity * 3 / 2, m_used + units));
            m_data = reinterpret_cast<char16_t*>(m_text.data());
            m_capacity = m_text.size();
        }
        return m_data + m_used;
    }
    quint32 commit(qsizetype units)
    {
        const quint32 at = quint32(m_used);
        m_used += units;
        return at;
    }
    QStringView last(quint32 at) const { return QStringView(m_data + at, m_used - at); }
    QStringView view(quint32 at, qsizetype length) const { return QStringView(m_data + at, length); }
    void truncate(quint32 at) { m_used = at; }
    void finish()
    {
        m_text.resize(m_used);
        m_text.squeeze();
    }

private:
    QString& m_text;
    char16_t* m_data = nullptr;
    qsizetype m_capacity = 0;
    qsizetype m_used = 0;
};

} // namespace

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
                   .arg(m_owned->keys.size())
                   .arg(m_owned->glosses.size())
                   .arg(m_owned->scoreCount));
    return m_owned.get();
}

std::unique_ptr<HanjaDictionary::Data> HanjaDictionary::load() const
{
    const auto locate = [this](const QString& name) {
        if (m_folder.isEmpty()) return Resources::locate(name);
        const QString path = m_folder + QLatin1Char('/') + name;
        return QFile::exists(path) ? path : QString();
    };

    auto d = std::make_unique<Data>();
    const QString dictionaryPath = locate(QStringLiteral("hanja.tsv"));
    FileBytes file;
    if (dictionaryPath.isEmpty() || !file.open(dictionaryPath)) {
        Log::write(QStringLiteral("hanja.tsv not found in bundle"));
        return nullptr;
    }
    const char* const begin = file.data();
    const char* const end = begin + file.size();
    size_t lineEstimate = 16;
    for (const char* p = begin; (p = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)))); ++p) ++lineEstimate;

    // One pass over the bytes: lines and fields are found on the UTF-8 text, and only the fields
    // that are kept are decoded, straight into the arena. A word repeated on the next line (the
    // usual case) is compared as bytes and not decoded again.
    Arena arena(d->text, file.size());
    d->keys.reserve(lineEstimate);
    d->entries.reserve(lineEstimate);
    d->keyTable.reserve(lineEstimate);
    std::vector<quint32> entryKey; // for regrouping a file whose words are not on adjacent lines
    entryKey.reserve(lineEstimate);
    bool adjacent = true;
    quint32 previousKey = UINT32_MAX;
    const char* previousKeyBytes = nullptr;
    qsizetype previousKeyLength = 0;
    const auto keyHash = [&](quint32 id) { return hashOf(arena.view(d->keys[id].offset, d->keys[id].length)); };
    const auto glossHash = [&](quint32 id) { return hashOf(arena.view(d->glosses[id].charOffset, d->glosses[id].charLength)); };
    std::vector<char16_t> scratch;
    bool valid = true;

    // Decodes bytes into the arena (composed when needed); returns its offset and length.
    const auto decodeField = [&](const char* from, const char* to, quint32* offset, qsizetype* length) {
        char16_t* out = arena.reserve(to - from);
        qsizetype written = 0;
        bool simple = true;
        if (!decodeUtf8(from, to - from, out, &written, &simple)) return false;
        *offset = arena.commit(written);
        *length = written;
        if (!simple) {
            const QString composed = arena.last(*offset).toString().normalized(QString::NormalizationForm_C);
            arena.truncate(*offset);
            *offset = arena.append(composed);
            *length = composed.size();
        }
        return true;
    };

    for (const char* lineStart = begin; lineStart < end && valid;) {
        const char* lineEnd = findByte(lineStart, end, '\n');
        const char* const next = lineEnd + 1;
        if (lineEnd == lineStart) { lineStart = next; continue; }
        const char* tab1 = findByte(lineStart, lineEnd, '\t');
        if (tab1 == lineEnd) {
            // Skipped, but the file must still be valid UTF-8 throughout.
            scratch.resize(size_t(lineEnd - lineStart));
            qsizetype n;
            bool simple;
            valid = decodeUtf8(lineStart, lineEnd - lineStart, scratch.data(), &n, &simple);
            lineStart = next;
            continue;
        }
        const char* tab2 = findByte(tab1 + 1, lineEnd, '\t');
        const char* tab3 = tab2 == lineEnd ? lineEnd : findByte(tab2 + 1, lineEnd, '\t');
        if (tab3 != lineEnd) {
            scratch.resize(size_t(lineEnd - tab3));
            qsizetype n;
            bool simple;
            if (!decodeUtf8(tab3, lineEnd - tab3, scratch.data(), &n, &simple)) { valid = false; break; }
        }

        quint32 keyId;
        if (previousKeyBytes && tab1 - lineStart == previousKeyLength
            && std::memcmp(lineStart, previousKeyBytes, size_t(previousKeyLength)) == 0) {
            keyId = previousKey;
        } else {
            quint32 offset;
            qsizetype length;
            if (!decodeField(lineStart, tab1, &offset, &length)) { valid = false; break; }
            if (length > 0x7FFF) { arena.truncate(offset); lineStart = next; continue; }
            const QStringView hangul = arena.view(offset, length);
            const quint32 newId = quint32(d->keys.size());
            keyId = d->keyTable.findOrInsert(
                hashOf(hangul), newId, [&](quint32 id) { return arena.view(d->keys[id].offset, d->keys[id].length) == hangul; },
                keyHash);
            if (keyId == newId) {
                d->keys.push_back(Data::Key{offset, quint32(d->entries.size()), quint16(length), 0});
            } else {
                arena.truncate(offset);
                adjacent = false;
            }
            previousKeyBytes = lineStart;
            previousKeyLength = tab1 - lineStart;
        }
        previousKey = keyId;
        Data::Key& key = d->keys[keyId];
        if (key.entryCount() == 0x7FFF) { lineStart = next; continue; }

        quint32 hanjaOffset, meaningOffset = 0;
        qsizetype hanjaLength, meaningLength = 0;
        if (!decodeField(tab1 + 1, tab2, &hanjaOffset, &hanjaLength)) { valid = false; break; }
        if (tab2 != lineEnd && !decodeField(tab2 + 1, tab3, &meaningOffset, &meaningLength)) { valid = false; break; }
        if (hanjaLength > 0xFFFF || meaningLength > 0xFFFF) { arena.truncate(hanjaOffset); lineStart = next; continue; }
        ++key.countAndFlag;
        d->entries.push_back(Data::Entry{hanjaOffset, quint16(hanjaLength), quint16(meaningLength)});
        entryKey.push_back(keyId);

        // Glosses: the first single-character line whose meaning yields one.
        const QStringView hanja = arena.view(hanjaOffset, hanjaLength);
        if (meaningLength > 0 && isOneCharacter(hanja)) {
            const QStringView meaning = arena.view(meaningOffset, meaningLength);
            const QStringView gloss = glossOf(meaning);
            if (!gloss.isEmpty()) {
                const quint32 newId = quint32(d->glosses.size());
                const quint32 id = d->glossTable.findOrInsert(
                    hashOf(hanja), newId,
                    [&](quint32 g) { return arena.view(d->glosses[g].charOffset, d->glosses[g].charLength) == hanja; },
                    glossHash);
                if (id == newId)
                    d->glosses.push_back(Data::Gloss{hanjaOffset, quint32(meaningOffset + (gloss.data() - meaning.data())),
                                                     quint16(hanjaLength), quint16(gloss.size())});
            }
        }
        lineStart = next;
    }
    if (!valid) {
        Log::write(QStringLiteral("hanja.tsv not found in bundle"));
        return nullptr;
    }
    arena.finish();

    if (!adjacent) {
        // Group each word's entries, keeping file order within a word.
        quint32 next = 0;
        std::vector<quint32> fill(d->keys.size(), 0);
        for (Data::Key& key : d->keys) {
            key.firstEntry = next;
            next += key.entryCount();
        }
        std::vector<Data::Entry> grouped(d->entries.size());
        for (size_t i = 0; i < d->entries.size(); ++i) {
            const quint32 k = entryKey[i];
            grouped[d->keys[k].firstEntry + fill[k]++] = d->entries[i];
        }
        d->entries.swap(grouped);
    }
    std::vector<quint32>().swap(entryKey);

    // Scores: the last line of a pair wins. Each word's spellings are then put in score order
    // once, since nothing changes after loading.
    const QString scoresPath = locate(QStringLiteral("hanja_freq.tsv"));
    QString scoresText;
    if (scoresPath.isEmpty() || !readUtf8(scoresPath, &scoresText)) {
        Log::write(QStringLiteral("hanja_freq.tsv not found in bundle"));
        return d;
    }
    struct Pair {
        QStringView hangul, hanja;
    };
    std::vector<Pair> pairs;
    std::deque<QString> composedPairs; // composed copies of the rare fields that needed it
    SlotTable pairTable;
    pairTable.reserve(40000);
    const auto pairHash = [](QStringView hangul, QStringView hanja) {
        Fnv f;
        f.add(hangul);
        f.add(kTab);
        f.add(hanja);
        return f.h;
    };
    std::vector<double> entryScore;
    std::vector<quint32> scoredKeys;
    const QStringView scoreLines(scoresText);
    for (qsizetype start = 0, end = 0; start < scoreLines.size(); start = end + 1) {
        end = indexOfUnit(scoreLines, kNewline, start);
        if (end < 0) end = scoreLines.size();
        const QStringView line = scoreLines.sliced(start, end - start);
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        QStringView fields[3];
        int count = 0;
        for (qsizetype from = 0, tab = 0; from <= line.size() && count <= 3; from = tab + 1) {
            tab = indexOfUnit(line, kTab, from);
            if (tab < 0) tab = line.size();
            if (tab > from) {
                if (count < 3) fields[count] = line.sliced(from, tab - from);
                ++count;
            }
        }
        if (count != 3) continue;
        const auto value = parseScore(fields[2]);
        if (!value) continue;
        for (int i = 0; i < 2; ++i)
            if (!TextUtil::isSimple(fields[i]))
                fields[i] = composedPairs.emplace_back(fields[i].toString().normalized(QString::NormalizationForm_C));
        const QStringView hangul = fields[0], hanja = fields[1];
        const quint32 newId = quint32(pairs.size());
        const quint32 id = pairTable.findOrInsert(
            pairHash(hangul, hanja), newId,
            [&](quint32 p) { return pairs[p].hangul == hangul && pairs[p].hanja == hanja; },
            [&](quint32 p) { return pairHash(pairs[p].hangul, pairs[p].hanja); });
        if (id == newId) pairs.push_back(Pair{hangul, hanja});

        const Data::Key* key = d->findKey(hangul);
        if (!key) continue;
        for (quint32 i = key->firstEntry; i < key->firstEntry + key->entryCount(); ++i) {
            const Data::Entry& e = d->entries[i];
            if (d->view(e.hanjaOffset, e.hanjaLength) != hanja) continue;
            if (entryScore.empty()) entryScore.assign(d->entries.size(), 0.0);
            entryScore[i] = *value;
            if (!key->anyScored()) {
                const_cast<Data::Key*>(key)->countAndFlag |= 0x8000;
                scoredKeys.push_back(quint32(key - d->keys.data()));
            }
        }
    }
    d->scoreCount = qsizetype(pairs.size());

    std::vector<quint32> order;
    std::vector<Data::Entry> sorted;
    for (quint32 keyId : scoredKeys) {
        const Data::Key& key = d->keys[keyId];
        if (key.entryCount() < 2 || TextUtil::characterCount(d->keyText(key)) < 2) continue;
        order.resize(key.entryCount());
        for (quint32 i = 0; i < key.entryCount(); ++i) order[i] = key.firstEntry + i;
        std::stable_sort(order.begin(), order.end(),
                         [&](quint32 a, quint32 b) { return entryScore[a] > entryScore[b]; });
        sorted.clear();
        for (quint32 i : order) sorted.push_back(d->entries[i]);
        std::copy(sorted.begin(), sorted.end(), d->entries.begin() + key.firstEntry);
    }
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

    const Data::Key* longest = nullptr;
    qsizetype longestUnits = 0;
    for (qsizetype k = n; k >= 2; --k) {
        const Data::Key* key = d->findKey(QStringView(text).first(bounds[k]));
        if (!key) continue;
        if (key->anyScored()) return Split{text.first(bounds[k]), text.sliced(bounds[k])};
        if (!longest) {
            longest = key;
            longestUnits = bounds[k];
        }
    }
    if (longest) return Split{text.first(longestUnits), text.sliced(longestUnits)};
    if (n == 1 && d->findKey(text)) return Split{text, QString()};
    return std::nullopt;
}

QList<HanjaEntry> HanjaDictionary::candidates(const QString& word)
{
    const Data* d = data();
    if (!d) return {};
    const Data::Key* key = d->findKey(TextUtil::nfc(TextUtil::trimmed(word)));
    if (!key) return {};
    QList<HanjaEntry> out;
    out.reserve(key->entryCount());
    for (quint32 i = key->firstEntry; i < key->firstEntry + key->entryCount(); ++i)
        out.append(d->entry(*key, d->entries[i]));
    return out;
}

QString HanjaDictionary::charGloss(QStringView character)
{
    const Data* d = data();
    if (!d) return QString();
    const QString c = TextUtil::nfc(character.toString());
    const auto id = d->glossTable.find(hashOf(c), [&](quint32 g) {
        const Data::Gloss& x = d->glosses[g];
        return d->view(x.charOffset, x.charLength) == c;
    });
    if (!id) return QString();
    const Data::Gloss& x = d->glosses[*id];
    return d->view(x.glossOffset, x.glossLength).toString();
}

qsizetype HanjaDictionary::keyCount()
{
    const Data* d = data();
    return d ? qsizetype(d->keys.size()) : 0;
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
