#pragma once

// Reads every word, entry and gloss of a loaded dictionary the way lookups do, for the tests and
// the fuzz target that feed the reader damaged index files: under the sanitizers each read is
// checked to lie inside the data. Returns a sum of hashes of all it read.

#include "core/dictionary/DictionaryData.h"

#include <QHashFunctions>

inline size_t walkDictionary(const DictionaryData& d)
{
    size_t sum = 0;
    for (quint32 id = 0; id < quint32(d.keyCount()); ++id) {
        const DictionaryData::KeyRef k = d.keyAt(id);
        const QStringView word(k.part->words() + k.key->offset, k.part->keyLength(*k.key));
        sum += qHash(word) + (d.findKey(word) ? 1 : 0);
        const quint32 first = k.key->firstEntry();
        for (quint32 i = first; i < first + k.part->entryCount(*k.key); ++i) {
            const HanjaEntry e = d.entry(k, k.part->entries[i]);
            sum += qHash(e.hanja()) + qHash(e.meaning());
        }
    }
    for (const DictionaryData::Gloss& g : d.glosses)
        sum += qHash(d.glossOf(QStringView(d.parts[g.part].units() + g.charOffset, g.charLength)));
    return sum;
}
