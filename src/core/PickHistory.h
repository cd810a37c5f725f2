#pragma once

#include "core/dictionary/HanjaDictionary.h"

#include <QDateTime>
#include <QList>
#include <QString>

// The user's picks under "pickHistory": (word TAB hanja) → [count, last pick in seconds since 1970],
// at most 2000 pairs. Nothing is kept in memory; every call reads the defaults afresh.
class PickHistory {
public:
    static PickHistory& shared();

    QList<HanjaEntry> reorder(const QList<HanjaEntry>& list, const QString& word, bool keepFirst) const;
    void record(const QString& word, const QString& hanja, const QDateTime& at);
    void clear();
    qsizetype count() const;
};
