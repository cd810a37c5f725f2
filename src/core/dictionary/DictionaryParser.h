#pragma once

// Reads the lines of hanja.tsv into a dictionary part, in one pass over the bytes.

#include "core/dictionary/DictionaryData.h"

namespace DictionaryParser {

using Byte = unsigned char;

// Parses the whole lines in [begin, end) into part (number partNo). Returns nullptr when done, or
// the start of the first line that is not valid UTF-8.
const Byte* parse(DictionaryData::Part& part, const Byte* begin, const Byte* end, quint32 partNo);

// Where a second reader's stretch of lines may start: at a line start near `at`, and past the
// lines of the word there, so that no word is in both stretches (which would be joined right,
// but at a cost).
const Byte* splitPoint(const Byte* begin, const Byte* end, const Byte* at);

} // namespace DictionaryParser
