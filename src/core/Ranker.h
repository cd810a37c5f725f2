#pragma once

#include "core/HanjaDictionary.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

#include <optional>

// One ranked spelling: the dictionary entry, the model's one-sentence reason (first candidate of a
// model ranking only) and its short meaning.
struct RankedCandidate {
    HanjaEntry entry;
    QString reason;
    QString meaning;
    bool operator==(const RankedCandidate&) const = default;
};

// Orders spellings by context with the local model, falling back to the frequency order, and
// asks the model to clean up typos. No state.
class Ranker {
public:
    // The structured answer the model fills.
    struct Pick {
        QList<qint64> indices;
        QString reason;
        QStringList meanings;

        static QJsonObject schema();
        // Absent when a property is missing or of another shape.
        static std::optional<Pick> fromJson(const QJsonObject& object);
        QJsonObject toJson() const;
    };

    static QCoro::Task<QList<RankedCandidate>> rank(QString word, QList<HanjaEntry> candidates, QString context,
                                                    int limit);
    static QCoro::Task<std::optional<QString>> cleanTypos(QString text, QString context);
};
