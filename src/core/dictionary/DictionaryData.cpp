// Putting the parsed parts together: both parts' words in one index (in file order, so a word
// repeated on lines far apart joins its first run), and the first gloss of each character.
#include "core/dictionary/DictionaryData.h"

using DictionaryText::hashText;
using DictionaryText::sameText;
using DictionaryText::unitsOf;

// Takes the tail's lines after the head's own (only to join words on lines far apart).
void DictionaryData::Part::append(Part& tail)
{
    const auto copyText = [](QString& to, quint32 used, const QString& from, quint32 count) {
        if (qsizetype(used) + count > to.size()) to.resize(qsizetype(used) + count);
        std::copy(unitsOf(from), unitsOf(from) + count, reinterpret_cast<char16_t*>(to.data()) + used);
    };
    copyText(keyText, wordsUsed, tail.keyText, tail.wordsUsed);
    copyText(text, textUsed, tail.text, tail.textUsed);
    const quint32 firstEntry = quint32(entries.size());
    keys.owned().pop_back();
    for (const Key& k : tail.keys) keys.owned().push_back(Key{k.offset + wordsUsed, k.entryAndFlag + firstEntry});
    for (const Entry& e : tail.entries)
        entries.owned().push_back(Entry{e.hanjaOffset + textUsed, e.hanjaLength, e.meaningLength});
    for (const LongEntry& l : tail.longEntries)
        longEntries.owned().push_back(LongEntry{l.hanjaOffset + textUsed, l.hanjaLength, l.meaningLength});
    for (const Gloss& g : tail.glosses)
        glosses.owned().push_back(Gloss{0, g.charOffset + textUsed, g.charLength, g.glossOffset + textUsed, g.glossLength});
    wordsUsed += tail.wordsUsed;
    textUsed += tail.textUsed;
    tail = Part();
    tail.keys.owned().push_back(Key{0, 0});
}

// Gives back the room reserved for text.
void DictionaryData::Part::finishText()
{
    keyText.resize(wordsUsed);
    keyText.squeeze();
    text.resize(textUsed);
    text.squeeze();
}

// Indexes a part's words (their hashes were kept), the head's before the tail's; a word met
// before is noted as a repeat, for joinRepeatedWords(). The slots are fetched a few words ahead.
void DictionaryData::indexRuns(quint32 partNo)
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
void DictionaryData::joinRepeatedWords()
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
    all.keys.owned().swap(joined);
    all.entries.owned().swap(grouped);
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
void DictionaryData::indexGlosses()
{
    std::vector<Gloss>& kept = glosses.owned();
    kept.reserve(parts[0].glosses.size() + parts[1].glosses.size());
    glossIndex.reserve(quint32(kept.capacity()));
    const auto textOf = [&](const Gloss& g) { return parts[g.part].units() + g.charOffset; };
    for (Part& part : parts) {
        for (const Gloss& g : part.glosses) {
            const quint32 newId = quint32(glosses.size());
            const quint32 id = glossIndex.findOrInsert(
                hashText(textOf(g), g.charLength), newId,
                [&](quint32 i) { return glosses[i].charLength == g.charLength && sameText(textOf(glosses[i]), textOf(g), g.charLength); },
                [&](quint32 i) { return hashText(textOf(glosses[i]), glosses[i].charLength); });
            if (id == newId) kept.push_back(g);
        }
        std::vector<Gloss>().swap(part.glosses.owned());
    }
}

void DictionaryData::joinParts()
{
    const quint32 headText = parts[0].textUsed;
    parts[0].append(parts[1]);
    for (Gloss& g : glosses.owned()) {
        if (g.part == 0) continue;
        g = Gloss{0, g.charOffset + headText, g.charLength, g.glossOffset + headText, g.glossLength};
    }
    headKeys = parts[0].keyCount();
}

QStringView DictionaryData::glossOf(QStringView character) const
{
    const auto id = glossIndex.find(hashText(character), [&](quint32 g) {
        const Gloss& x = glosses[g];
        return QStringView(parts[x.part].units() + x.charOffset, x.charLength) == character;
    });
    if (!id) return {};
    const Gloss& x = glosses[*id];
    return QStringView(parts[x.part].units() + x.glossOffset, x.glossLength);
}
