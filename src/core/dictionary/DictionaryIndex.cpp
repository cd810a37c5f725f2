// The index file's layout: a header, then the dictionary's arrays, each at an offset given in the
// header and aligned to 8 bytes, in the byte order and record layout of the machine that built
// it (the header says which, and another one is refused). Reading checks the header, the checksum
// and then every record that a lookup follows (offsets, lengths, ids, orders), so that even an
// index with a good checksum cannot send a lookup outside the file or into an endless probe.
#include "core/dictionary/DictionaryIndex.h"

#include "core/dictionary/ContentHash.h"
#include "core/dictionary/DictionaryLoader.h"
#include "core/dictionary/MappedFile.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

using Data = DictionaryData;
using Byte = unsigned char;

namespace {

constexpr char kMagic[8] = {'S', 'W', 'H', 'A', 'N', 'J', 'A', '\n'};
constexpr quint32 kVersion = 1;
constexpr quint32 kByteOrder = 0x01020304;
constexpr quint32 kRecordSizes = quint32(sizeof(Data::Key) | sizeof(Data::Entry) << 8 | sizeof(Data::LongEntry) << 16
                                         | sizeof(Data::Gloss) << 24);
constexpr quint64 kNoScores = ~quint64(0);

struct Section {
    quint64 offset;
    quint64 count; // of records
};

struct Header {
    char magic[8];
    quint32 version;
    quint32 byteOrder; // kByteOrder as the building machine stores it
    quint32 headerSize;
    quint32 recordSizes;
    quint64 fileSize;
    quint64 checksum; // ContentHash of the whole file, this field read as 0
    DictionaryIndex::Sources sources;
    quint64 scoreCount;
    quint32 keyIdMask;
    quint32 glossIdMask;
    Section keyText, text; // UTF-16
    Section keys, entries, longEntries, glosses;
    Section keySlots, glossSlots;
};
static_assert(std::is_trivially_copyable_v<Header> && sizeof(Header) % 8 == 0);

quint64 checksumOf(QByteArrayView bytes)
{
    Header h;
    std::memcpy(&h, bytes.data(), sizeof h);
    h.checksum = 0;
    const quint64 head = ContentHash::hash(reinterpret_cast<const Byte*>(&h), sizeof h);
    return ContentHash::hash(reinterpret_cast<const Byte*>(bytes.data()) + sizeof h, size_t(bytes.size()) - sizeof h, head);
}

template <typename T>
Section append(QByteArray& out, const T* records, size_t count)
{
    out.append(QByteArray((8 - out.size() % 8) % 8, '\0'));
    const Section s{quint64(out.size()), quint64(count)};
    out.append(reinterpret_cast<const char*>(records), qsizetype(count * sizeof(T)));
    return s;
}

// The records of a section, or null when it does not lie whole and aligned inside the file.
template <typename T>
const T* recordsAt(QByteArrayView bytes, const Section& s)
{
    static_assert(alignof(T) <= 8);
    const quint64 size = quint64(bytes.size());
    if (s.offset % 8 != 0 || s.offset > size || s.count > (size - s.offset) / sizeof(T)) return nullptr;
    return reinterpret_cast<const T*>(bytes.data() + s.offset);
}

// A saved hash table: ids below `records`, and one empty slot at least, so every probe ends.
bool slotsHold(const quint32* table, quint64 size, quint32 idMask, quint64 records)
{
    if (size == 0 || size > 0xFFFFFFFFu || idMask == 0 || (idMask & (idMask + 1)) != 0) return false;
    quint64 empty = 0;
    for (quint64 i = 0; i < size; ++i) {
        if (table[i] == 0)
            ++empty;
        else if (quint32((table[i] & idMask) - 1) >= records)
            return false;
    }
    return empty > 0;
}

struct Arrays {
    const char16_t* keyText;
    const char16_t* text;
    const Data::Key* keys;
    const Data::Entry* entries;
    const Data::LongEntry* longEntries;
    const Data::Gloss* glosses;
    const quint32* keySlots;
    const quint32* glossSlots;
};

// Why the arrays cannot be read safely, or an empty string.
QString flaw(const Header& h, const Arrays& a)
{
    const quint64 textUnits = h.text.count;
    const auto inText = [&](quint64 offset, quint64 length) { return offset <= textUnits && length <= textUnits - offset; };
    // Words: each key's text and entries run to the next key's, up to the closing key.
    if (h.keys.count == 0 || h.keys.count > 0x7FFFFFFF || h.keyText.count >= 0xFFFFFFFFu || textUnits >= 0xFFFFFFFFu)
        return QStringLiteral("keys");
    for (quint64 k = 0; k + 1 < h.keys.count; ++k)
        if (a.keys[k + 1].offset < a.keys[k].offset || a.keys[k + 1].firstEntry() < a.keys[k].firstEntry())
            return QStringLiteral("keys");
    const Data::Key& closing = a.keys[h.keys.count - 1];
    if (closing.offset > h.keyText.count || closing.firstEntry() > h.entries.count) return QStringLiteral("keys");
    // Long entries are found by offset, in order.
    for (quint64 i = 0; i < h.longEntries.count; ++i) {
        const Data::LongEntry& l = a.longEntries[i];
        if ((i > 0 && l.hanjaOffset < a.longEntries[i - 1].hanjaOffset) || !inText(l.hanjaOffset, quint64(l.hanjaLength) + l.meaningLength))
            return QStringLiteral("long entries");
    }
    const Data::LongEntry* const longEnd = a.longEntries + h.longEntries.count;
    for (quint64 i = 0; i < h.entries.count; ++i) {
        const Data::Entry& e = a.entries[i];
        if (e.hanjaLength != 0xFFFF) {
            if (!inText(e.hanjaOffset, quint64(e.hanjaLength) + e.meaningLength)) return QStringLiteral("entries");
            continue;
        }
        const auto l = std::lower_bound(a.longEntries, longEnd, e.hanjaOffset,
                                        [](const Data::LongEntry& x, quint32 offset) { return x.hanjaOffset < offset; });
        if (l == longEnd || l->hanjaOffset != e.hanjaOffset) return QStringLiteral("entries");
    }
    for (quint64 i = 0; i < h.glosses.count; ++i) {
        const Data::Gloss& g = a.glosses[i];
        if (g.part != 0 || !inText(g.charOffset, g.charLength) || !inText(g.glossOffset, g.glossLength))
            return QStringLiteral("glosses");
    }
    if (!slotsHold(a.keySlots, h.keySlots.count, h.keyIdMask, h.keys.count - 1)) return QStringLiteral("word index");
    if (!slotsHold(a.glossSlots, h.glossSlots.count, h.glossIdMask, h.glosses.count)) return QStringLiteral("gloss index");
    return QString();
}

} // namespace

DictionaryIndex::Sources DictionaryIndex::sourcesOf(QByteArrayView dictionary, std::optional<QByteArrayView> scores)
{
    const auto hashOf = [](QByteArrayView b) { return ContentHash::hash(reinterpret_cast<const Byte*>(b.data()), size_t(b.size())); };
    Sources s;
    s.dictionarySize = quint64(dictionary.size());
    s.dictionaryHash = hashOf(dictionary);
    s.scoresSize = scores ? quint64(scores->size()) : kNoScores;
    s.scoresHash = scores ? hashOf(*scores) : 0;
    return s;
}

QByteArray DictionaryIndex::write(DictionaryData& data, const Sources& sources)
{
    data.joinParts();
    const Data::Part& all = data.parts[0];
    Header h{};
    std::memcpy(h.magic, kMagic, sizeof kMagic);
    h.version = kVersion;
    h.byteOrder = kByteOrder;
    h.headerSize = sizeof(Header);
    h.recordSizes = kRecordSizes;
    h.sources = sources;
    h.scoreCount = quint64(data.scoreCount);
    h.keyIdMask = data.keyIndex.idMask();
    h.glossIdMask = data.glossIndex.idMask();

    QByteArray out(sizeof(Header), '\0');
    h.keyText = append(out, DictionaryText::unitsOf(all.keyText), size_t(all.keyText.size()));
    h.text = append(out, DictionaryText::unitsOf(all.text), size_t(all.text.size()));
    h.keys = append(out, all.keys.data(), all.keys.size());
    h.entries = append(out, all.entries.data(), all.entries.size());
    h.longEntries = append(out, all.longEntries.data(), all.longEntries.size());
    h.glosses = append(out, data.glosses.data(), data.glosses.size());
    h.keySlots = append(out, data.keyIndex.table(), data.keyIndex.size());
    h.glossSlots = append(out, data.glossIndex.table(), data.glossIndex.size());
    h.fileSize = quint64(out.size());
    std::memcpy(out.data(), &h, sizeof h);
    seal(out);
    return out;
}

QByteArray DictionaryIndex::build(QByteArrayView dictionary, std::optional<QByteArrayView> scores)
{
    DictionaryLoader::Outcome loaded = DictionaryLoader::build(dictionary, scores);
    if (!loaded.data || loaded.invalidScoresLine) return QByteArray();
    return write(*loaded.data, sourcesOf(dictionary, scores));
}

void DictionaryIndex::seal(QByteArray& index)
{
    if (index.size() < qsizetype(sizeof(Header))) return;
    const quint64 checksum = checksumOf(index);
    std::memcpy(index.data() + offsetof(Header, checksum), &checksum, sizeof checksum);
}

DictionaryIndex::Reading DictionaryIndex::read(QByteArrayView bytes, std::shared_ptr<const void> storage, const Sources& expected)
{
    Reading reading;
    const auto refuse = [&reading](const QString& why) {
        reading.refusal = why;
        return std::move(reading);
    };
    if (bytes.size() < qsizetype(sizeof(Header))) return refuse(QStringLiteral("damaged (size)"));
    // Mapped files start on a page; a copy of the bytes may not, and the arrays are read in place.
    if (quintptr(bytes.data()) % 8 != 0) return refuse(QStringLiteral("not aligned in memory"));
    Header h;
    std::memcpy(&h, bytes.data(), sizeof h);
    if (std::memcmp(h.magic, kMagic, sizeof kMagic) != 0) return refuse(QStringLiteral("damaged (not an index)"));
    if (h.version != kVersion) return refuse(QStringLiteral("of format %1, not %2").arg(h.version).arg(kVersion));
    if (h.byteOrder != kByteOrder || h.headerSize != sizeof(Header) || h.recordSizes != kRecordSizes)
        return refuse(QStringLiteral("made on another kind of machine"));
    if (h.fileSize != quint64(bytes.size())) return refuse(QStringLiteral("damaged (size)"));
    if (checksumOf(bytes) != h.checksum) return refuse(QStringLiteral("damaged (checksum)"));
    if (!(h.sources == expected)) return refuse(QStringLiteral("built from other files"));

    const Arrays a{recordsAt<char16_t>(bytes, h.keyText),       recordsAt<char16_t>(bytes, h.text),
                   recordsAt<Data::Key>(bytes, h.keys),         recordsAt<Data::Entry>(bytes, h.entries),
                   recordsAt<Data::LongEntry>(bytes, h.longEntries), recordsAt<Data::Gloss>(bytes, h.glosses),
                   recordsAt<quint32>(bytes, h.keySlots),       recordsAt<quint32>(bytes, h.glossSlots)};
    if (!a.keyText || !a.text || !a.keys || !a.entries || !a.longEntries || !a.glosses || !a.keySlots || !a.glossSlots)
        return refuse(QStringLiteral("damaged (bounds)"));
    if (const QString what = flaw(h, a); !what.isEmpty()) return refuse(QStringLiteral("damaged (%1)").arg(what));

    auto d = std::make_unique<DictionaryData>();
    Data::Part& all = d->parts[0];
    all.keyText = QString::fromRawData(reinterpret_cast<const QChar*>(a.keyText), qsizetype(h.keyText.count));
    all.text = QString::fromRawData(reinterpret_cast<const QChar*>(a.text), qsizetype(h.text.count));
    all.wordsUsed = quint32(h.keyText.count);
    all.textUsed = quint32(h.text.count);
    all.keys.view(a.keys, h.keys.count);
    all.entries.view(a.entries, h.entries.count);
    all.longEntries.view(a.longEntries, h.longEntries.count);
    d->headKeys = all.keyCount();
    d->glosses.view(a.glosses, h.glosses.count);
    d->keyIndex.view(a.keySlots, quint32(h.keySlots.count), h.keyIdMask);
    d->glossIndex.view(a.glossSlots, quint32(h.glossSlots.count), h.glossIdMask);
    d->scoreCount = qsizetype(h.scoreCount);
    for (quint32 k = 0; k < all.keyCount(); ++k) d->longestKey = std::max(d->longestKey, all.keyLength(all.keys[k]));
    d->storage = std::move(storage);
    reading.data = std::move(d);
    return reading;
}

DictionaryIndex::Reading DictionaryIndex::open(const QString& path, const Sources& expected)
{
    auto file = std::make_shared<MappedFile>();
    if (!file->open(path)) return Reading{nullptr, QStringLiteral("cannot be read (%1)").arg(file->error())};
    const QByteArrayView bytes(reinterpret_cast<const char*>(file->begin()), file->size());
    Reading reading = read(bytes, file, expected);
    // The checks read the whole file; a lookup reads a few pages of it.
    file->releaseResident();
    if (reading.data) reading.data->mapped = file.get();
    return reading;
}
