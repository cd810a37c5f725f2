#pragma once

// hanja_freq.tsv, the frequency table: read on its own (it needs nothing of the dictionary, so
// the loader reads it while the dictionary is parsed), then applied to the parsed dictionary.

#include "core/dictionary/DictionaryData.h"

#include <QString>

#include <vector>

namespace FrequencyTable {

using Byte = unsigned char;

// The score lines of a table: each line's word and spelling, composed, back to back in text.
struct Lines {
    struct Line {
        quint32 offset; // of the word in text; the spelling follows it
        quint32 wordLength;
        quint32 hanjaLength;
        double score;
    };
    QString text;
    std::vector<Line> lines;
    const Byte* invalid = nullptr; // the start of the first line that is not valid UTF-8

    QStringView word(const Line& l) const { return QStringView(text).sliced(l.offset, l.wordLength); }
    QStringView hanja(const Line& l) const { return QStringView(text).sliced(l.offset + l.wordLength, l.hanjaLength); }
};

// Reads the whole lines in [begin, end). On invalid UTF-8, invalid is set and lines is incomplete.
Lines read(const Byte* begin, const Byte* end);

// Gives each entry the score of its (word, spelling) pair, the last line of a pair winning, puts
// the entries of every scored word of two characters or more in score order (ties in file
// order), marks the words that have a scored spelling and counts the distinct pairs.
void apply(DictionaryData& data, const Lines& table);

} // namespace FrequencyTable
