#pragma once

// Reads every word, entry and gloss of a loaded dictionary the way lookups do, for the tests and
// the fuzz target that feed the reader damaged index files: under the sanitizers each read is
// checked to lie inside the data. Returns the units read, to compare two dictionaries by.

#include "core/dictionary/DictionaryData.h"

inline qsizetype walkDictionary(const DictionaryData& d)
{
    qsizetype units = 0;
    for (quint32 id = 0; id < quint32(d.keyCount()); ++id) {
        const DictionaryData::KeyRef k = d.keyAt(id);
        const QStringView word(k.part->words() + k.key->offset, k.part->keyLength(*k.key));
        units += word.size() + (d.findKey(word) ? 1 : 0);
        const quint32 first = k.key->firstEntry();
        for (quint32 i = first; i < first + k.part->entryCount(*k.key); ++i) {
            const HanjaEntry e = d.entry(k, k.part->entries[i]);
            units += e.hanja().size() + e.meaning().size();
        }
    }
    for (const DictionaryData::Gloss& g : d.glosses)
        units += d.glossOf(QStringView(d.parts[g.part].units() + g.charOffset, g.charLength)).size();
    return units;
}
