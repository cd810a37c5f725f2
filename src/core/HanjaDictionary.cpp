#include "core/HanjaDictionary.h"

#include "core/Log.h"
#include "core/Resources.h"
#include "core/TextUtil.h"

#include <QFile>
#include <QHash>
#include <QStringDecoder>

#include <algorithm>
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
// kept by the caller; the table only finds them.
class SlotTable {
public:
    void reserve(size_t records)
    {
        size_t size = 16;
        while (size < records * 2) size *= 2;
        m_slots.assign(size, 0);
        m_mask = size - 1;
    }
    size_t capacity() const { return m_slots.size(); }

    // Returns the id whose record matches, or inserts newId and returns it.
    template <typename Matches>
    quint32 findOrInsert(quint64 hash, quint32 newId, Matches matches)
    {
        if (m_count * 2 >= m_slots.size()) grow();
        size_t i = hash & m_mask;
        while (m_slots[i] != 0) {
            const quint32 id = m_slots[i] - 1;
            if (matches(id)) return id;
            i = (i + 1) & m_mask;
        }
        m_slots[i] = newId + 1;
        m_hashes.resize(std::max<size_t>(m_hashes.size(), newId + 1));
        m_hashes[newId] = hash;
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

    void dropHashes() { std::vector<quint64>().swap(m_hashes); }

private:
    void grow()
    {
        std::vector<quint32> old;
        old.swap(m_slots);
        m_slots.assign(old.size() * 2, 0);
        m_mask = m_slots.size() - 1;
        for (quint32 slot : old) {
            if (slot == 0) continue;
            size_t i = m_hashes[slot - 1] & m_mask;
            while (m_slots[i] != 0) i = (i + 1) & m_mask;
            m_slots[i] = slot;
        }
    }

    std::vector<quint32> m_slots;
    std::vector<quint64> m_hashes; // only while building
    size_t m_mask = 0;
    size_t m_count = 0;
};

bool readUtf8(const QString& path, QString* out)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) return false;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    *out = decoder(bytes);
    return !decoder.hasError();
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
std::optional<double> parseScore(QStringView s)
{
    if (s.isEmpty()) return std::nullopt;
    qsizetype i = 0;
    if (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')) ++i;
    bool digits = false;
    while (i < s.size() && s[i].isDigit() && s[i].unicode() < 128) { ++i; digits = true; }
    if (i < s.size() && s[i] == QLatin1Char('.')) {
        ++i;
        while (i < s.size() && s[i].unicode() < 128 && s[i].isDigit()) { ++i; digits = true; }
    }
    if (!digits) return std::nullopt;
    if (i < s.size() && (s[i] == QLatin1Char('e') || s[i] == QLatin1Char('E'))) {
        ++i;
        if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))) ++i;
        bool expDigits = false;
        while (i < s.size() && s[i].unicode() < 128 && s[i].isDigit()) { ++i; expDigits = true; }
        if (!expDigits) return std::nullopt;
    }
    if (i != s.size()) return std::nullopt;
    bool ok = false;
    const double value = s.toString().toDouble(&ok);
    if (!ok || !std::isfinite(value)) return std::nullopt;
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
        quint16 entryCount;
        bool anyScored;
    };
    struct Entry {
        quint32 hanjaOffset; // the meaning starts one unit after the spelling
        quint16 hanjaLength;
        quint16 meaningLength;
    };
    struct Gloss {
        quint32 charOffset;
        quint32 glossOffset;
        quint16 charLength;
        quint16 glossLength;
    };

    QString text; // the dictionary file, plus composed copies of the lines that needed it
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
        out.m_meaning = out.m_hanja + e.hanjaLength + 1;
        out.m_meaningLen = e.meaningLength;
        return out;
    }
};

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
    if (dictionaryPath.isEmpty() || !readUtf8(dictionaryPath, &d->text)) {
        Log::write(QStringLiteral("hanja.tsv not found in bundle"));
        return nullptr;
    }

    // Pass 1: lines to (key id, entry), keys found through the table. The source file groups a
    // word's lines, so the previous key is tried before the table.
    const qsizetype originalSize = d->text.size();
    std::vector<std::pair<quint32, Data::Entry>> pending;
    pending.reserve(size_t(originalSize / 16));
    d->keys.reserve(size_t(originalSize / 24));
    d->keyTable.reserve(size_t(originalSize / 24));
    quint32 previousKey = UINT32_MAX;

    qsizetype lineStart = 0;
    while (lineStart < originalSize) {
        qsizetype lineEnd = d->text.indexOf(QChar(kNewline), lineStart);
        if (lineEnd < 0) lineEnd = originalSize;
        const qsizetype nextLine = lineEnd + 1;
        if (lineEnd == lineStart) { lineStart = nextLine; continue; }

        qsizetype base = lineStart;
        qsizetype length = lineEnd - lineStart;
        {
            const QString line = d->text.sliced(lineStart, length);
            const QString composed = TextUtil::nfc(line);
            if (composed.constData() != line.constData() && composed != line) {
                base = d->text.size();
                length = composed.size();
                d->text.append(composed);
                d->text.append(QChar(kNewline));
            }
        }
        const QChar* chars = d->text.constData() + base;
        const QStringView line(chars, length);
        const qsizetype tab1 = line.indexOf(QChar(kTab));
        if (tab1 < 0) { lineStart = nextLine; continue; }
        qsizetype tab2 = line.indexOf(QChar(kTab), tab1 + 1);
        const qsizetype hanjaEnd = tab2 < 0 ? length : tab2;
        qsizetype meaningLength = 0;
        if (tab2 >= 0) {
            qsizetype tab3 = line.indexOf(QChar(kTab), tab2 + 1);
            meaningLength = (tab3 < 0 ? length : tab3) - (tab2 + 1);
        }
        const QStringView hangul = line.first(tab1);
        if (hangul.size() > 0xFFFF || hanjaEnd - tab1 - 1 > 0xFFFF) { lineStart = nextLine; continue; }

        quint32 keyId;
        if (previousKey != UINT32_MAX && d->keyText(d->keys[previousKey]) == hangul) {
            keyId = previousKey;
        } else {
            const quint32 newId = quint32(d->keys.size());
            keyId = d->keyTable.findOrInsert(hashOf(hangul), newId, [&](quint32 id) {
                return d->keyText(d->keys[id]) == hangul;
            });
            if (keyId == newId)
                d->keys.push_back(Data::Key{quint32(base), 0, quint16(hangul.size()), 0, false});
        }
        previousKey = keyId;
        Data::Key& key = d->keys[keyId];
        if (key.entryCount == 0xFFFF) { lineStart = nextLine; continue; }
        ++key.entryCount;
        const Data::Entry entry{quint32(base + tab1 + 1), quint16(hanjaEnd - tab1 - 1),
                                quint16(std::min<qsizetype>(meaningLength, 0xFFFF))};
        pending.emplace_back(keyId, entry);

        // Glosses: the first single-character line whose meaning yields one.
        const QStringView hanja = line.sliced(tab1 + 1, hanjaEnd - tab1 - 1);
        if (entry.meaningLength > 0 && isOneCharacter(hanja)) {
            const QStringView gloss = glossOf(line.sliced(tab2 + 1, meaningLength));
            if (!gloss.isEmpty()) {
                const quint32 newId = quint32(d->glosses.size());
                if (d->glosses.empty()) d->glossTable.reserve(8192);
                const quint32 id = d->glossTable.findOrInsert(hashOf(hanja), newId, [&](quint32 g) {
                    const Data::Gloss& x = d->glosses[g];
                    return d->view(x.charOffset, x.charLength) == hanja;
                });
                if (id == newId)
                    d->glosses.push_back(Data::Gloss{quint32(base + tab1 + 1), quint32(gloss.data() - d->text.constData()),
                                                     quint16(hanja.size()), quint16(std::min<qsizetype>(gloss.size(), 0xFFFF))});
            }
        }
        lineStart = nextLine;
    }

    // Pass 2: entries grouped by key, file order kept within a key.
    quint32 next = 0;
    for (Data::Key& key : d->keys) {
        key.firstEntry = next;
        next += key.entryCount;
    }
    d->entries.resize(pending.size());
    {
        std::vector<quint32> fill(d->keys.size(), 0);
        for (const auto& [keyId, entry] : pending) d->entries[d->keys[keyId].firstEntry + fill[keyId]++] = entry;
    }
    std::vector<std::pair<quint32, Data::Entry>>().swap(pending);
    d->keyTable.dropHashes();
    d->glossTable.dropHashes();

    // Scores: read, last line of a pair wins; then each word's spellings are put in score order
    // once, since the maps never change after loading.
    const QString scoresPath = locate(QStringLiteral("hanja_freq.tsv"));
    QString scoresText;
    if (scoresPath.isEmpty() || !readUtf8(scoresPath, &scoresText)) {
        Log::write(QStringLiteral("hanja_freq.tsv not found in bundle"));
        return d;
    }
    struct Score {
        QString hangul;
        QString hanja;
        double value;
    };
    std::vector<Score> scores;
    SlotTable scoreTable;
    scoreTable.reserve(40000);
    for (QStringView line : QStringView(scoresText).tokenize(QChar(kNewline), Qt::SkipEmptyParts)) {
        if (line.startsWith(QLatin1Char('#'))) continue;
        QStringView fields[3];
        int count = 0;
        for (QStringView f : line.tokenize(QChar(kTab), Qt::SkipEmptyParts)) {
            if (count < 3) fields[count] = f;
            if (++count > 3) break;
        }
        if (count != 3) continue;
        const auto value = parseScore(fields[2]);
        if (!value) continue;
        const QString hangul = TextUtil::nfc(fields[0].toString());
        const QString hanja = TextUtil::nfc(fields[1].toString());
        Fnv f;
        f.add(hangul);
        f.add(kTab);
        f.add(hanja);
        const quint32 newId = quint32(scores.size());
        const quint32 id = scoreTable.findOrInsert(f.h, newId, [&](quint32 s) {
            return scores[s].hangul == hangul && scores[s].hanja == hanja;
        });
        if (id == newId) scores.push_back(Score{hangul, hanja, *value});
        else scores[id].value = *value;
    }
    d->scoreCount = qsizetype(scores.size());

    std::vector<double> entryScore(d->entries.size(), 0.0);
    std::vector<quint32> scoredKeys;
    for (const Score& s : scores) {
        const Data::Key* key = d->findKey(s.hangul);
        if (!key) continue;
        bool matched = false;
        for (quint32 i = key->firstEntry; i < key->firstEntry + key->entryCount; ++i) {
            const Data::Entry& e = d->entries[i];
            if (d->view(e.hanjaOffset, e.hanjaLength) == s.hanja) {
                entryScore[i] = s.value;
                matched = true;
            }
        }
        if (matched && !key->anyScored) {
            const_cast<Data::Key*>(key)->anyScored = true;
            scoredKeys.push_back(quint32(key - d->keys.data()));
        }
    }
    std::vector<quint32> order;
    std::vector<Data::Entry> sorted;
    for (quint32 keyId : scoredKeys) {
        const Data::Key& key = d->keys[keyId];
        if (key.entryCount < 2 || TextUtil::characterCount(d->keyText(key)) < 2) continue;
        order.resize(key.entryCount);
        for (quint32 i = 0; i < key.entryCount; ++i) order[i] = key.firstEntry + i;
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
        if (key->anyScored) return Split{text.first(bounds[k]), text.sliced(bounds[k])};
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
    out.reserve(key->entryCount);
    for (quint32 i = key->firstEntry; i < key->firstEntry + key->entryCount; ++i)
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
