// How often each character is used in the dictionary's words, for ordering a syllable's characters
// when a word is spelled one character at a time.
#include "core/dictionary/HanjaDictionary.h"

#include "base/TextUtil.h"
#include "core/dictionary/DictionaryData.h"
#include "core/dictionary/FrequencyTable.h"
#include "core/dictionary/SeenCompounds.h"

namespace {

// The characters of a Hanja word, in order.
template <typename F>
void eachCharacter(QStringView hanja, F f)
{
    for (qsizetype i = 0; i < hanja.size();) {
        const qsizetype size = hanja[i].isHighSurrogate() && i + 1 < hanja.size() ? 2 : 1;
        f(hanja.sliced(i, size));
        i += size;
    }
}

} // namespace

double HanjaDictionary::characterUses(QStringView character)
{
    const DictionaryData* d = data();
    if (!d) return 0;
    std::lock_guard lock(m_usesMutex);
    if (!m_characterUses) {
        // Each word of the dictionary counts as used once, and as often again as running text uses
        // it by the frequency table (its estimated uses): a character of a few common words comes
        // before one of many rare ones. A score line of a spelling the dictionary lacks counts for
        // nothing: only the dictionary's words are counted.
        QHash<QString, double> uses;
        uses.reserve(20000);
        for (quint32 id = 0; id < quint32(d->keyCount()); ++id) {
            const DictionaryData::KeyRef key = d->keyAt(id);
            const quint32 first = key.key->firstEntry(), count = key.part->entryCount(*key.key);
            for (quint32 e = first; e < first + count; ++e) {
                const QStringView hanja = d->entry(key, key.part->entries[e]).hanja();
                if (hanja.size() >= 2) eachCharacter(hanja, [&](QStringView c) { uses[c.toString()] += 1; });
            }
        }
        if (const std::optional<QByteArray> scores = readOptional(QStringLiteral("hanja_freq.tsv"),
                                                                  m_texts ? m_texts->scores : std::nullopt)) {
            const auto* begin = reinterpret_cast<const FrequencyTable::Byte*>(scores->constData());
            const FrequencyTable::Lines table = FrequencyTable::read(begin, begin + scores->size());
            for (const FrequencyTable::Lines::Line& line : table.lines) {
                const QStringView hanja = table.hanja(line);
                if (hanja.size() < 2 || !(line.score > 0)) continue;
                const DictionaryData::KeyRef key = d->findKey(table.word(line));
                if (!key) continue;
                const quint32 first = key.key->firstEntry(), count = key.part->entryCount(*key.key);
                bool known = false;
                for (quint32 e = first; e < first + count && !known; ++e)
                    known = d->entry(key, key.part->entries[e]).hanja() == hanja;
                if (known) eachCharacter(hanja, [&](QStringView c) { uses[c.toString()] += line.score; });
            }
        }
        m_characterUses = std::move(uses);
        releaseResident(); // every word was read: the pages go back to the page cache
    }
    return m_characterUses->value(TextUtil::nfc(character.toString()));
}

HanjaDictionary::SyllableCounts HanjaDictionary::charactersAt(QStringView word, qsizetype index)
{
    SyllableCounts counts;
    QHash<QString, int>& out = counts.beside;
    const DictionaryData* d = data();
    if (!d || index < 0 || index >= word.size()) return counts;
    const QStringView left = index > 0 ? word.sliced(index - 1, 2) : QStringView();
    const QStringView right = index + 1 < word.size() ? word.sliced(index, 2) : QStringView();
    const auto count = [&](const DictionaryData::KeyRef& key, qsizetype length, qsizetype at) {
        const quint32 first = key.key->firstEntry(), n = key.part->entryCount(*key.key);
        for (quint32 e = first; e < first + n; ++e) {
            const QStringView hanja = d->entry(key, key.part->entries[e]).hanja();
            // Only spellings of one character a syllable line up with the word.
            if (hanja.size() == length) ++out[hanja.sliced(at, 1).toString()];
        }
    };
    for (quint32 id = 0; id < quint32(d->keyCount()); ++id) {
        const DictionaryData::KeyRef key = d->keyAt(id);
        const QStringView hangul(key.part->words() + key.key->offset, key.part->keyLength(*key.key));
        for (qsizetype j = 0; j + 1 < hangul.size(); ++j) {
            const QStringView pair = hangul.sliced(j, 2);
            if (!left.isEmpty() && pair == left) count(key, hangul.size(), j + 1);
            if (!right.isEmpty() && pair == right) count(key, hangul.size(), j);
        }
    }
    // The compounds writers spelled that the dictionary lacks are the words a user spells by hand
    // too: their names, places and terms share syllables and characters with the next one.
    if (const SeenCompounds* seen = seenCompounds()) {
        SeenCompounds::PlaceCounts places = seen->charactersAt(word, index);
        for (auto it = places.beside.cbegin(); it != places.beside.cend(); ++it) out[it.key()] += it.value();
        counts.inCompounds = std::move(places.anywhere);
    }
    releaseResident(); // every word was read: the pages go back to the page cache
    return counts;
}
