#pragma once

// Applies hanja_freq.tsv, the frequency table, to a parsed dictionary.

#include "core/dictionary/DictionaryData.h"

namespace FrequencyTable {

using Byte = unsigned char;

// Gives each entry the score of its (word, spelling) pair, the last line of a pair winning, puts
// the entries of every scored word of two characters or more in score order (ties in file
// order), marks the words that have a scored spelling and counts the distinct pairs. Returns
// nullptr when done, or the start of the first line that is not valid UTF-8; then nothing has
// changed.
const Byte* apply(DictionaryData& data, const Byte* begin, const Byte* end);

} // namespace FrequencyTable
