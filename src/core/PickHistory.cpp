#include "core/PickHistory.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "base/Notifier.h"
#include "core/UserWords.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

const QString kKey = QStringLiteral("pickHistory");
constexpr qsizetype kMaxPairs = 2000;

QString pairKey(QStringView word, QStringView hanja)
{
    return word.toString() + QLatin1Char('\t') + hanja.toString();
}

QString shown(QString key)
{
    key.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return key.size() > 40 ? key.left(40) + QStringLiteral("…") : key;
}

void logUnreadable(const PickHistory::Parsed& parsed)
{
    if (parsed.foreignType) Log::write(QStringLiteral("pickHistory 값이 사전 형식이 아니라 빈 기록으로 읽음"));
    if (parsed.unreadable.isEmpty()) return;
    QStringList names;
    for (qsizetype i = 0; i < std::min<qsizetype>(parsed.unreadable.size(), 3); ++i)
        names.append(shown(parsed.unreadable[i]));
    Log::write(QStringLiteral("pickHistory에서 읽을 수 없는 항목 %1개를 건너뜀 (지우지 않고 둠): %2")
                   .arg(parsed.unreadable.size())
                   .arg(names.join(QStringLiteral(", "))));
}

PickHistory::Parsed readStored()
{
    PickHistory::Parsed parsed = PickHistory::parse(Defaults::shared().value(kKey));
    logUnreadable(parsed);
    return parsed;
}

// The list with its count and time made numbers that sort (0 where missing, not finite, or a
// negative count); the numbers after them are kept.
QJsonArray sortableList(QJsonArray list)
{
    const double count = list.at(0).toDouble(); // 0 past the end
    const double time = list.at(1).toDouble();
    while (list.size() < 2) list.append(0);
    if (!std::isfinite(count) || count < 0) list[0] = 0;
    if (!std::isfinite(time)) list[1] = 0;
    return list;
}

bool saved(bool ok, const QString& what)
{
    if (!ok) {
        Log::write(QStringLiteral("고른 기록을 저장하지 못함: ") + what);
        Notifier::shared().post(PickHistory::didFailToSave);
    }
    Notifier::shared().post(Notifications::pickHistoryDidChange);
    return ok;
}

} // namespace

// An entry reads when its value is a list of numbers. Within it, a missing or unusable number
// (short list, NaN, infinity, negative count) reads as 0, so that sorting always has two sane
// numbers to compare and the next write stores them well-formed.
PickHistory::Parsed PickHistory::parse(const QJsonValue& stored)
{
    Parsed parsed;
    if (stored.isUndefined()) return parsed;
    if (!stored.isObject()) {
        parsed.foreignType = true;
        return parsed;
    }
    const QJsonObject object = stored.toObject();
    parsed.pairs.reserve(object.size());
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QJsonArray list = it->toArray();
        const bool numbers = it->isArray()
            && std::all_of(list.begin(), list.end(), [](const QJsonValue& v) { return v.isDouble(); });
        if (!numbers) {
            parsed.unreadable.append(it.key());
            continue;
        }
        Pair pair;
        if (!list.isEmpty()) {
            const double count = list.at(0).toDouble();
            pair.count = std::isfinite(count) && count > 0 ? std::floor(count) : 0;
        }
        if (list.size() >= 2) {
            const double time = list.at(1).toDouble();
            pair.time = std::isfinite(time) ? time : 0;
        }
        parsed.pairs.insert(it.key(), pair);
    }
    return parsed;
}

PickHistory& PickHistory::shared()
{
    static PickHistory instance;
    return instance;
}

namespace {

// A word the user added counts as picked when it was added, and leads its word's spellings until
// another spelling of it is picked later than it was added or last picked.
void countUserWords(QHash<QString, PickHistory::Pair>& pairs, const QList<PickHistory::Key>& keys)
{
    const std::shared_ptr<const UserWordTable> user = UserWords::shared().table();
    if (user->isEmpty()) return;
    for (const PickHistory::Key& key : keys) {
        const QList<UserWord> own = user->forHanja(key.hanja);
        const auto it = std::find_if(own.cbegin(), own.cend(), [&](const UserWord& w) { return w.hangul == key.word; });
        if (it == own.cend()) continue;
        PickHistory::Pair pair = pairs.value(pairKey(key.word, key.hanja));
        pair.count = std::max(pair.count, 1.0);
        if (it->added.isValid()) pair.time = std::max(pair.time, double(it->added.toMSecsSinceEpoch()) / 1000.0);
        const QString prefix = key.word + QLatin1Char('\t');
        bool overtaken = false;
        for (auto p = pairs.cbegin(); p != pairs.cend() && !overtaken; ++p)
            overtaken = p.key().startsWith(prefix) && p.key() != pairKey(key.word, key.hanja) && p->time > pair.time;
        if (!overtaken) pair.count = std::numeric_limits<double>::infinity();
        pairs.insert(pairKey(key.word, key.hanja), pair);
    }
}

} // namespace

PickHistory::Order PickHistory::order(const QList<Key>& keys) const
{
    QHash<QString, Pair> pairs = readStored().pairs;
    countUserWords(pairs, keys);
    QList<std::pair<qsizetype, Pair>> picked;
    QList<qsizetype> unpicked;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const auto it = pairs.constFind(pairKey(keys[i].word, keys[i].hanja));
        if (it != pairs.constEnd())
            picked.append({i, *it});
        else
            unpicked.append(i);
    }
    std::stable_sort(picked.begin(), picked.end(), [](const auto& a, const auto& b) {
        if (a.second.count != b.second.count) return a.second.count > b.second.count;
        return a.second.time > b.second.time;
    });
    Order result;
    result.picked = picked.size();
    for (const auto& p : picked) result.positions.append(p.first);
    result.positions.append(unpicked);
    return result;
}

HanjaDictionary::PartPicks PickHistory::pickedSpellings() const
{
    const QHash<QString, Pair> pairs = readStored().pairs;
    QHash<QString, QList<std::pair<QString, Pair>>> byWord;
    for (auto it = pairs.cbegin(); it != pairs.cend(); ++it) {
        const qsizetype tab = it.key().indexOf(QLatin1Char('\t'));
        if (tab > 0) byWord[it.key().left(tab)].append({it.key().mid(tab + 1), *it});
    }
    HanjaDictionary::PartPicks picks;
    for (auto it = byWord.begin(); it != byWord.end(); ++it) {
        // The hash's order is arbitrary: equal counts and times fall back to the spelling.
        std::sort(it->begin(), it->end(), [](const auto& a, const auto& b) {
            if (a.second.count != b.second.count) return a.second.count > b.second.count;
            return a.second.time != b.second.time ? a.second.time > b.second.time : a.first < b.first;
        });
        QStringList& spellings = picks[it.key()];
        for (const auto& p : std::as_const(*it)) spellings.append(p.first);
    }
    return picks;
}

QList<HanjaEntry> PickHistory::reorder(const QList<HanjaEntry>& list, const QString& word, bool keepFirst) const
{
    const qsizetype start = keepFirst && !list.isEmpty() ? 1 : 0;
    QList<Key> keys;
    for (qsizetype i = start; i < list.size(); ++i) keys.append(Key{word, list[i].hanja().toString()});
    QList<HanjaEntry> result = list.mid(0, start);
    for (qsizetype i : order(keys).positions) result.append(list[start + i]);
    return result;
}

bool PickHistory::record(const QString& word, const QString& hanja, const QDateTime& at)
{
    const QString key = pairKey(word, hanja);
    // Read and written under the store's lock: a pick made meanwhile by another process is kept.
    const bool ok = Defaults::shared().update(kKey, [key, at](const QJsonValue& stored) {
        const Parsed parsed = parse(stored);
        logUnreadable(parsed);
        // Other entries are carried over as stored (those that do not read too; only the bound
        // removes them), so what a newer version keeps in them survives; only a count or time
        // that cannot sort is written anew.
        QJsonObject object = stored.isObject() ? stored.toObject() : QJsonObject();
        for (auto p = parsed.pairs.cbegin(); p != parsed.pairs.cend(); ++p)
            object.insert(p.key(), sortableList(object.value(p.key()).toArray()));
        const auto it = parsed.pairs.constFind(key);
        // An empty stored list reads as count 0, so it too starts over at 1.
        const double count = (it != parsed.pairs.constEnd() ? it->count : 0) + 1;
        object.insert(key, QJsonArray{count, double(at.toMSecsSinceEpoch()) / 1000.0});

        if (object.size() > kMaxPairs) {
            QList<std::pair<double, QString>> byTime;
            byTime.reserve(object.size());
            for (auto p = object.begin(); p != object.end(); ++p) {
                const auto pair = parsed.pairs.constFind(p.key());
                double time = 0; // an entry that does not read goes first
                if (p.key() == key) time = double(at.toMSecsSinceEpoch()) / 1000.0;
                else if (pair != parsed.pairs.constEnd()) time = pair->time;
                byTime.append({time, p.key()});
            }
            std::sort(byTime.begin(), byTime.end());
            const qsizetype excess = object.size() - kMaxPairs;
            for (qsizetype i = 0; i < excess; ++i) object.remove(byTime[i].second);
        }
        return QJsonValue(object);
    });
    return saved(ok, shown(key));
}

bool PickHistory::clear()
{
    // A clear that did not reach the file is not shown as done: the history stays as it reads.
    return saved(Defaults::shared().remove(kKey, DefaultsStore::Unsaved::drop), QStringLiteral("clear"));
}

qsizetype PickHistory::count() const
{
    return readStored().pairs.size();
}
