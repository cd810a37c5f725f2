// hanja.index read after edits: the index of a small dictionary with bytes changed where the input
// says, its checksum then made to match (unless the input keeps it), so that the records' own
// checks are what stands between the edits and a lookup. An index is refused, or every word,
// entry and gloss in it reads inside its bytes (the sanitizers see each read) and every probe
// ends. Input: a flags byte (bit 0: keep the checksum), then edits of five bytes each: a 32-bit
// little-endian offset (modulo the size) and a byte XORed there.
#include "FuzzSupport.h"
#include "../tests/unit/DictionaryWalk.h"

#include "core/dictionary/DictionaryIndex.h"

#include <QtEndian>

namespace {

const QByteArray& dictionary()
{
    static const QByteArray text = [] {
        QByteArray t = "가나\t加\t더할 가\n가나\t家\t집 가\n수도\t首都\t서울\n화\t火\t불 화\n화\t花\t꽃 화\n";
        for (int i = 0; i < 12; ++i) t += QString("단어%1\t字%1\t뜻\n").arg(i).toUtf8();
        t += "가나\t佳\t아름다울 가\n길다\t長\t" + QByteArray(0xFFFF, 'x') + "\n";
        return t;
    }();
    return text;
}
const QByteArray kScores = "가나\t家\t9\n화\t花\t2\n";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const DictionaryIndex::Sources sources = DictionaryIndex::sourcesOf(dictionary(), kScores);
    static const QByteArray original = DictionaryIndex::build(dictionary(), kScores);
    static const size_t originalSum = [] {
        auto kept = std::make_shared<QByteArray>(original);
        return walkDictionary(*DictionaryIndex::read(*kept, kept, sources).data);
    }();

    auto index = std::make_shared<QByteArray>(original);
    const bool keepChecksum = size > 0 && (data[0] & 1);
    for (size_t at = 1; at + 5 <= size; at += 5) {
        const quint32 offset = qFromLittleEndian<quint32>(data + at) % quint32(index->size());
        (*index)[offset] = char((*index)[offset] ^ data[at + 4]);
    }
    const bool changed = *index != original;
    if (!keepChecksum) DictionaryIndex::seal(*index);

    const DictionaryIndex::Reading reading = DictionaryIndex::read(*index, index, sources);
    const QString detail = QStringLiteral("%1 edits, checksum %2: %3")
                               .arg(size > 0 ? (size - 1) / 5 : 0)
                               .arg(keepChecksum ? "kept" : "made to match", reading.refusal);
    FUZZ_CHECK(changed || reading.data, detail);
    FUZZ_CHECK(!(changed && keepChecksum) || !reading.data, detail);
    if (!reading.data) return 0;
    const size_t sum = walkDictionary(*reading.data);
    FUZZ_CHECK(changed || sum == originalSum, detail);
    return 0;
}
