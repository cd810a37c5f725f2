// The load on three threads: this one parses the dictionary's head and indexes it, then indexes
// the tail that a second thread parsed meanwhile, and applies the frequency table that a third one
// read. The result is that of one pass in file order whatever the split and the timing: the parts
// are kept as they were and the words indexed in file order. The head is the smaller part, as this
// thread also indexes the tail.
#include "core/dictionary/DictionaryLoader.h"

#include "core/dictionary/DictionaryParser.h"
#include "core/dictionary/FrequencyTable.h"
#include "core/dictionary/Utf8Scan.h"

#include <algorithm>
#include <system_error>
#include <thread>

using Byte = unsigned char;

namespace {

// Work on a thread of its own, or on the caller's when no thread can be started; done by wait()
// or at the end of the scope.
class Task {
public:
    template <typename F>
    explicit Task(F work)
    {
        try {
            m_thread = std::thread(std::move(work));
        } catch (const std::system_error&) {
            work();
        }
    }
    ~Task() { wait(); }
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    void wait()
    {
        if (m_thread.joinable()) m_thread.join();
    }

private:
    std::thread m_thread;
};

} // namespace

DictionaryLoader::Outcome DictionaryLoader::build(QByteArrayView dictionary, std::optional<QByteArrayView> scores)
{
    Outcome outcome;
    const auto* const begin = reinterpret_cast<const Byte*>(dictionary.data());
    const Byte* const end = begin + dictionary.size();
    const Byte* const split = DictionaryParser::splitPoint(begin, end, begin + dictionary.size() * 43 / 100);

    auto d = std::make_unique<DictionaryData>();
    const Byte* tailInvalid = nullptr;
    Task tail([&] { tailInvalid = DictionaryParser::parse(d->parts[1], split, end, 1); });
    const auto* const table = scores ? reinterpret_cast<const Byte*>(scores->data()) : nullptr;
    FrequencyTable::Lines scoreLines;
    Task scoreReader([&] {
        if (table) scoreLines = FrequencyTable::read(table, table + scores->size());
    });

    const Byte* const headInvalid = DictionaryParser::parse(d->parts[0], begin, split, 0);
    if (!headInvalid) {
        // Room in the index for as many words in the tail as in the head, byte for byte.
        d->headKeys = d->parts[0].keyCount();
        const qint64 expected = qint64(d->headKeys) * dictionary.size() / std::max<qint64>(split - begin, 1) * 11 / 10;
        d->keyIndex.reserve(quint32(std::clamp<qint64>(expected, 1024, INT32_MAX)));
        d->indexRuns(0);
    }
    tail.wait();
    if (headInvalid || tailInvalid) {
        outcome.invalidDictionaryLine = Utf8Scan::lineNumberAt(begin, headInvalid ? headInvalid : tailInvalid);
        return outcome;
    }
    d->indexRuns(1);
    if (!d->repeats.empty()) d->joinRepeatedWords();
    d->indexGlosses();

    scoreReader.wait();
    if (scoreLines.invalid)
        outcome.invalidScoresLine = Utf8Scan::lineNumberAt(table, scoreLines.invalid);
    else if (table)
        FrequencyTable::apply(*d, scoreLines);
    for (DictionaryData::Part& part : d->parts) part.finishText();
    outcome.data = std::move(d);
    return outcome;
}
