// The pick history on whatever the defaults hold under "pickHistory": counting, reordering and
// recording never fail, and a pick keeps every pair that reads well (unless the bound evicts it).
#include "FuzzSupport.h"

#include "base/Defaults.h"
#include "core/PickHistory.h"
#include "support/MemoryDefaultsStore.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace {

const QString kKey = QStringLiteral("pickHistory");

// A pair as a pick leaves it: a whole count of at least 1 and a finite time. A stored count too
// big for a double to add 1 to stays as stored (it still ranks first); it is not a pick's fault.
bool writtenByAPick(const QJsonValue& v)
{
    const QJsonArray a = v.toArray();
    if (!v.isArray() || a.size() != 2 || !a[0].isDouble() || !a[1].isDouble()) return false;
    const double count = a[0].toDouble(), time = a[1].toDouble();
    return std::isfinite(count) && count >= 1 && count == std::floor(count) && std::isfinite(time);
}

// A pair written as the history writes it, with room to count on.
bool wellFormed(const QJsonValue& v) { return writtenByAPick(v) && v.toArray()[0].toDouble() < 1e15; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const bool keepFirst = data[0] & 1;
    const QByteArray text = Fuzz::bytes(data + 1, size - 1);
    const QJsonDocument doc = QJsonDocument::fromJson(text);
    if (doc.isNull()) return 0;

    auto store = std::make_shared<MemoryDefaultsStore>();
    const QJsonValue stored = doc.isObject() ? QJsonValue(doc.object()) : QJsonValue(doc.array());
    store->setValue(kKey, stored);
    Defaults::setShared(store);
    const QString detail = Fuzz::show(QString::fromUtf8(text));

    PickHistory& history = PickHistory::shared();
    const qsizetype before = history.count();
    FUZZ_CHECK(before >= 0, detail);

    // The word's spellings come from the stored keys, so reordering has picks to find.
    const QString word = QStringLiteral("수도");
    QList<HanjaEntry> entries;
    const QJsonObject object = stored.toObject();
    for (auto it = object.begin(); it != object.end() && entries.size() < 40; ++it) {
        const qsizetype tab = it.key().indexOf(QLatin1Char('\t'));
        if (tab >= 0 && it.key().first(tab) == word) entries.append(HanjaEntry(word, it.key().sliced(tab + 1)));
    }
    entries.append(HanjaEntry(word, QStringLiteral("水道")));
    const QList<HanjaEntry> reordered = history.reorder(entries, word, keepFirst);
    FUZZ_CHECK(reordered.size() == entries.size(), detail);
    if (keepFirst) FUZZ_CHECK(reordered.first() == entries.first(), detail);
    for (const HanjaEntry& e : entries)
        FUZZ_CHECK(reordered.count(e) == entries.count(e), detail);

    const QDateTime now = QDateTime::fromSecsSinceEpoch(4102444800); // later than any stored time below
    history.record(word, QStringLiteral("首都"), now);
    const QJsonObject written = store->value(kKey).toObject();
    const QString key = word + QLatin1Char('\t') + QStringLiteral("首都");
    FUZZ_CHECK(writtenByAPick(written.value(key)), detail);
    FUZZ_CHECK(written.value(key).toArray()[1].toDouble() == 4102444800.0, detail);
    FUZZ_CHECK(written.size() <= 2000, detail);
    // Every pair written is as it was stored, or its list with a count and time that sort and the
    // rest of the list kept; nothing new.
    for (auto it = written.begin(); it != written.end(); ++it) {
        const QJsonArray a = it->toArray();
        const bool sortable = it->isArray() && a.size() >= 2 && a[0].isDouble() && a[1].isDouble()
            && std::isfinite(a[0].toDouble()) && a[0].toDouble() >= 0 && std::isfinite(a[1].toDouble());
        const bool restKept =
            it.key() == key || a.toVariantList().mid(2) == object.value(it.key()).toArray().toVariantList().mid(2);
        FUZZ_CHECK((sortable && restKept) || object.value(it.key()) == *it, detail + " wrote " + it.key());
        FUZZ_CHECK(it.key() == key || object.contains(it.key()), detail + " wrote " + it.key());
    }

    // Every pair that read well is still there, with its count, unless the bound needed the room.
    const bool evicting = object.size() + (object.contains(key) ? 0 : 1) > 2000;
    if (!evicting) {
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!wellFormed(*it) || it.key() == key) continue;
            // As numbers: Qt keeps a big whole number exactly, and the history stores doubles.
            const QJsonArray was = it->toArray(), now = written.value(it.key()).toArray();
            FUZZ_CHECK(now.size() == 2 && now[0].toDouble() == was[0].toDouble() && now[1].toDouble() == was[1].toDouble(),
                       detail + QStringLiteral(" lost ") + Fuzz::show(it.key()));
        }
    }
    if (wellFormed(object.value(key)))
        FUZZ_CHECK(written.value(key).toArray()[0].toDouble() == object.value(key).toArray()[0].toDouble() + 1, detail);
    // Foreign values kept as they were do not count as learned pairs.
    FUZZ_CHECK(history.count() >= 1 && history.count() <= written.size(), detail);
    return 0;
}
