// The load on two threads: this one parses the dictionary's head and indexes it, then indexes the
// tail that the other thread parsed meanwhile. The result is that of one pass in file order
// whatever the split and the timing: the parts are kept as they were and the words indexed in
// file order. The head is the smaller part, as this thread also indexes the tail. The frequency
// table is applied last, on the finished index.
#include "core/dictionary/DictionaryLoader.h"

#include "core/dictionary/DictionaryParser.h"
#include "core/dictionary/FrequencyTable.h"
#include "core/dictionary/Utf8Scan.h"

#include <algorithm>
#include <system_error>
#include <thread>

using Byte = unsigned char;

DictionaryLoader::Outcome DictionaryLoader::build(QByteArrayView dictionary, std::optional<QByteArrayView> scores)
{
    Outcome outcome;
    const auto* const begin = reinterpret_cast<const Byte*>(dictionary.data());
    const Byte* const end = begin + dictionary.size();
    const Byte* const split = DictionaryParser::splitPoint(begin, end, begin + dictionary.size() * 43 / 100);

    auto d = std::make_unique<DictionaryData>();
    const Byte* tailInvalid = nullptr;
    const auto parseTail = [&] { tailInvalid = DictionaryParser::parse(d->parts[1], split, end, 1); };
    struct Reader {
        std::thread thread;
        ~Reader()
        {
            if (thread.joinable()) thread.join();
        }
    } reader;
    try {
        reader.thread = std::thread(parseTail);
    } catch (const std::system_error&) {
        parseTail();
    }

    const Byte* const headInvalid = DictionaryParser::parse(d->parts[0], begin, split, 0);
    if (!headInvalid) {
        // Room in the index for as many words in the tail as in the head, byte for byte.
        d->headKeys = d->parts[0].keyCount();
        const qint64 expected = qint64(d->headKeys) * dictionary.size() / std::max<qint64>(split - begin, 1) * 11 / 10;
        d->keyIndex.reserve(quint32(std::clamp<qint64>(expected, 1024, INT32_MAX)));
        d->indexRuns(0);
    }
    if (reader.thread.joinable()) reader.thread.join();
    if (headInvalid || tailInvalid) {
        outcome.invalidDictionaryLine = Utf8Scan::lineNumberAt(begin, headInvalid ? headInvalid : tailInvalid);
        return outcome;
    }
    d->indexRuns(1);
    if (!d->repeats.empty()) d->joinRepeatedWords();
    d->indexGlosses();

    if (scores) {
        const auto* const table = reinterpret_cast<const Byte*>(scores->data());
        if (const Byte* invalid = FrequencyTable::apply(*d, table, table + scores->size()))
            outcome.invalidScoresLine = Utf8Scan::lineNumberAt(table, invalid);
    }
    for (DictionaryData::Part& part : d->parts) part.finishText();
    outcome.data = std::move(d);
    return outcome;
}
