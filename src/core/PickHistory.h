#pragma once

#include "core/dictionary/HanjaDictionary.h"

#include <QDateTime>
#include <QHash>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

// The user's picks under "pickHistory": (word TAB hanja) → [count, last pick in seconds since 1970,
// and whatever a newer version adds, kept], at most 2000 pairs. Nothing is kept in memory; every
// call reads the defaults afresh, and a record is one read-modify-write of the store, so picks
// made by other processes are kept.
class PickHistory {
public:
    static PickHistory& shared();

    // Posted (besides the change notification) when a record or a clear could not be saved. A pick
    // that could not be saved is still learned for this process (and settingsDidFailToSave is
    // posted); a clear that could not be saved leaves the history as it was.
    static inline const QString didFailToSave = QStringLiteral("SorelwickPickHistoryDidFailToSave");

    struct Pair {
        double count = 0;
        double time = 0;
    };
    // A stored value as read: the pairs that read, and the keys of the entries that do not (not
    // a list of numbers), which are skipped but kept in the store.
    struct Parsed {
        QHash<QString, Pair> pairs;
        QStringList unreadable;
        bool foreignType = false; // present but not an object: reads as empty
    };
    static Parsed parse(const QJsonValue& stored);

    // A (word, Hanja) pair as the history keys it.
    struct Key {
        QString word;
        QString hanja;
    };
    // Positions into `keys` in learned order: the picked pairs first (most picked, then latest
    // picked first, then as given), then the others as given; `picked` counts the former.
    struct Order {
        QList<qsizetype> positions;
        qsizetype picked = 0;
    };
    Order order(const QList<Key>& keys) const;
    QList<HanjaEntry> reorder(const QList<HanjaEntry>& list, const QString& word, bool keepFirst) const;
    // Every picked word's spellings in learned order (most picked, then latest picked first).
    HanjaDictionary::PartPicks pickedSpellings() const;
    // False (logged, and didFailToSave posted) when the pick or the clear could not be saved.
    bool record(const QString& word, const QString& hanja, const QDateTime& at);
    bool clear();
    qsizetype count() const;
};
