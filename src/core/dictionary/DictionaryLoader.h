#pragma once

// Builds the dictionary from the bytes of its two files.

#include "core/dictionary/DictionaryData.h"

#include <QByteArrayView>

#include <memory>
#include <optional>

namespace DictionaryLoader {

struct Outcome {
    std::unique_ptr<DictionaryData> data; // absent when the dictionary file is not valid UTF-8
    qsizetype invalidDictionaryLine = 0;  // the first line that is not valid UTF-8, from 1
    qsizetype invalidScoresLine = 0;      // likewise in the frequency table, whose scores are then dropped
};

// The dictionary of hanja.tsv's bytes with the scores of hanja_freq.tsv's, when given.
Outcome build(QByteArrayView dictionary, std::optional<QByteArrayView> scores);

} // namespace DictionaryLoader
