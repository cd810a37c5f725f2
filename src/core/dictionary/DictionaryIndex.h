#pragma once

// hanja.index: the loaded dictionary saved as it lies in memory, built at build time from
// hanja.tsv and hanja_freq.tsv (tools/dictionaryindex) and shipped beside them. Reading it maps
// the file and points the dictionary's arrays and texts into the mapping: no parse, no copy, so
// a start costs hashing the two files (to know the index was built from them) and checking the
// index. A header gives the format, the sizes and hashes of the files it was built from, a
// checksum of the whole file and where each array lies; anything that does not check out is
// refused with the reason, and the caller parses the files instead.

#include "core/dictionary/DictionaryData.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>
#include <optional>

namespace DictionaryIndex {

// The files an index is built from: the size and ContentHash of each.
struct Sources {
    quint64 dictionarySize = 0;
    quint64 dictionaryHash = 0;
    quint64 scoresSize = 0; // ~0 when there is no frequency table
    quint64 scoresHash = 0;
    bool operator==(const Sources&) const = default;
};
Sources sourcesOf(QByteArrayView dictionary, std::optional<QByteArrayView> scores);

// The index file's bytes for a dictionary loaded from those sources; its parts are joined first.
QByteArray write(DictionaryData& data, const Sources& sources);
// The index of the two files' bytes; empty when either is not valid UTF-8 (such files are left
// to the parse, which says where).
QByteArray build(QByteArrayView dictionary, std::optional<QByteArrayView> scores);

// Sets the checksum of an index to what its bytes hold (the last step of write()).
void seal(QByteArray& index);

struct Reading {
    std::unique_ptr<DictionaryData> data; // null when the index is refused
    QString refusal;                      // why, for the log: "damaged (checksum)", ...
};

// The dictionary in an index's bytes, read in place: `storage` holds the bytes and is kept by the
// dictionary. Refused unless built from `expected` and whole.
Reading read(QByteArrayView bytes, std::shared_ptr<const void> storage, const Sources& expected);
// The same from an index file, mapped.
Reading open(const QString& path, const Sources& expected);

} // namespace DictionaryIndex
