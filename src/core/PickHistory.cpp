#include "core/PickHistory.h"

#include "base/Defaults.h"
#include "base/Notifier.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace {

const QString kKey = QStringLiteral("pickHistory");
constexpr qsizetype kMaxPairs = 2000;

struct Pair {
    double count = 0;
    double time = 0;
};

QString pairKey(QStringView word, QStringView hanja)
{
    return word.toString() + QLatin1Char('\t') + hanja.toString();
}

// The stored value is taken only as a whole: an object whose every value is a list of numbers.
// Anything else reads as the empty history. Within an accepted list, a missing or unusable number
// (short list, NaN, infinity, negative count) reads as 0, so that sorting always has two sane
// numbers to compare and the next write stores them well-formed.
QHash<QString, Pair> read()
{
    QHash<QString, Pair> pairs;
    const QJsonValue stored = Defaults::shared().value(kKey);
    if (!stored.isObject()) return pairs;
    const QJsonObject object = stored.toObject();
    pairs.reserve(object.size());
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!it->isArray()) return {};
        const QJsonArray list = it->toArray();
        for (const QJsonValue& v : list)
            if (!v.isDouble()) return {};
        Pair pair;
        if (!list.isEmpty()) {
            const double count = list.at(0).toDouble();
            pair.count = std::isfinite(count) && count > 0 ? std::floor(count) : 0;
        }
        if (list.size() >= 2) {
            const double time = list.at(1).toDouble();
            pair.time = std::isfinite(time) ? time : 0;
        }
        pairs.insert(it.key(), pair);
    }
    return pairs;
}

} // namespace

PickHistory& PickHistory::shared()
{
    static PickHistory instance;
    return instance;
}

QList<HanjaEntry> PickHistory::reorder(const QList<HanjaEntry>& list, const QString& word, bool keepFirst) const
{
    const QHash<QString, Pair> pairs = read();
    QList<HanjaEntry> result;
    result.reserve(list.size());
    qsizetype start = 0;
    if (keepFirst && !list.isEmpty()) {
        result.append(list.first());
        start = 1;
    }
    struct Picked {
        HanjaEntry entry;
        Pair pair;
    };
    QList<Picked> picked;
    QList<HanjaEntry> unpicked;
    for (qsizetype i = start; i < list.size(); ++i) {
        const auto it = pairs.constFind(pairKey(word, list[i].hanja()));
        if (it != pairs.constEnd())
            picked.append(Picked{list[i], *it});
        else
            unpicked.append(list[i]);
    }
    std::stable_sort(picked.begin(), picked.end(), [](const Picked& a, const Picked& b) {
        if (a.pair.count != b.pair.count) return a.pair.count > b.pair.count;
        return a.pair.time > b.pair.time;
    });
    for (const Picked& p : picked) result.append(p.entry);
    result.append(unpicked);
    return result;
}

void PickHistory::record(const QString& word, const QString& hanja, const QDateTime& at)
{
    QHash<QString, Pair> pairs = read();
    const QString key = pairKey(word, hanja);
    const auto it = pairs.constFind(key);
    // An empty stored list reads as count 0, so it too starts over at 1.
    const double count = (it != pairs.constEnd() ? it->count : 0) + 1;
    pairs.insert(key, Pair{count, double(at.toMSecsSinceEpoch()) / 1000.0});

    if (pairs.size() > kMaxPairs) {
        QList<std::pair<double, QString>> byTime;
        byTime.reserve(pairs.size());
        for (auto p = pairs.cbegin(); p != pairs.cend(); ++p) byTime.append({p->time, p.key()});
        std::sort(byTime.begin(), byTime.end());
        const qsizetype excess = pairs.size() - kMaxPairs;
        for (qsizetype i = 0; i < excess; ++i) pairs.remove(byTime[i].second);
    }

    QJsonObject object;
    for (auto p = pairs.cbegin(); p != pairs.cend(); ++p) object.insert(p.key(), QJsonArray{p->count, p->time});
    Defaults::shared().setValue(kKey, object);
    Notifier::shared().post(Notifications::pickHistoryDidChange);
}

void PickHistory::clear()
{
    Defaults::shared().remove(kKey);
    Notifier::shared().post(Notifications::pickHistoryDidChange);
}

qsizetype PickHistory::count() const
{
    return read().size();
}
