#pragma once

// The dictionary read the other way, Hanja word → Hangul readings, for reading Hanja in a
// selection. Made from hanja.tsv (each line reversed), hanja_freq.tsv (which reading of a word is
// the usual one) and seen_compounds.tsv (words the dictionary lacks, as writers read them), and
// held in the same form as the dictionary itself (DictionaryData), so it is saved ready to map as
// hanja_reading.index at build time and read in place, like hanja.index.
//
// A word's readings come most likely first: a word's by its frequency score (ties in file order),
// then the compounds as seen. A character's by how often the dictionary's words read it so, a word
// read with the initial-sound rule (여자 女子) counting for the character's own reading (녀), since
// the reader applies the rule by the character's place.

#include "core/dictionary/DictionaryData.h"
#include "core/dictionary/DictionaryIndex.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>
#include <optional>

namespace ReadingIndex {

struct Files {
    QByteArrayView dictionary;
    std::optional<QByteArrayView> scores;
    std::optional<QByteArrayView> seen;
};

// The reversed lines: Hanja word (composed), TAB, reading; each word's lines together, in order.
QByteArray reversedLines(const Files& files);
// The files an index is made from: the dictionary, and the frequency table followed by the seen
// compounds as one (either absent counts as empty).
DictionaryIndex::Sources sourcesOf(const Files& files);
// The reversed dictionary, parsed; null when the dictionary is not valid UTF-8.
std::unique_ptr<DictionaryData> load(const Files& files);
// hanja_reading.index's bytes; empty when the dictionary is not valid UTF-8.
QByteArray build(const Files& files);

// Whether a code point is a Han ideograph (unified, extensions, compatibility).
inline bool isHan(char32_t c)
{
    return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0xF900 && c <= 0xFAFF)
        || (c >= 0x20000 && c <= 0x3134F);
}

} // namespace ReadingIndex
