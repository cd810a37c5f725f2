#pragma once

#include "core/dictionary/HanjaDictionary.h"
#include "core/RankEngine.h"

#include <QHash>
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
    };

    // The model never sees more spellings than this; nothing beyond them is returned.
    static constexpr qsizetype kPoolSize = 12;

    // Never fails: without a model, or when it fails, the first `limit` candidates in their order.
    static QCoro::Task<QList<RankedCandidate>> rank(QString word, QList<HanjaEntry> candidates, QString context,
                                                    int limit);
    // What ranked the list: the model, or the frequency order (no model, or the model failed).
    struct Ranking {
        QList<RankedCandidate> candidates;
        RankEngine engine = RankEngine::frequency;
    };
    // rank() with a model already found available (null: frequency); asks no availability.
    static QCoro::Task<Ranking> rankWith(std::shared_ptr<LanguageModel> model, QString word,
                                         QList<HanjaEntry> candidates, QString context, int limit);
    // The corrected text, or nothing: no model, a model error, or nothing to correct.
    static QCoro::Task<std::optional<QString>> cleanTypos(QString text, QString context);
    static QCoro::Task<std::optional<QString>> cleanTyposWith(std::shared_ptr<LanguageModel> model, QString text,
                                                              QString context);

    // What a shortcut press shows for a dictionary word, before rows are made of it.
    static constexpr qsizetype kMaxRows = 40;
    struct Arrangement {
        QList<HanjaEntry> entries;          // merged and reordered by the pick history
        QHash<QString, QString> meanings;   // the model's meaning by Hanja spelling
        RankEngine engine = RankEngine::frequency; // what really ranked the top
    };
    // The ranked top, then the other entries in dictionary order, at most `cap` in all.
    static QList<HanjaEntry> merge(const QList<RankedCandidate>& ranked, const QList<HanjaEntry>& entries,
                                   qsizetype cap = kMaxRows);
    // Hanja spelling → the model's meaning; the first occurrence of a spelling wins.
    static QHash<QString, QString> modelMeanings(const QList<RankedCandidate>& ranked);
    // Rank (limit 3) with the model (null: frequency), merge, then reorder by the pick history; the
    // model's first choice keeps the top place only when the model did rank.
    static QCoro::Task<Arrangement> arrange(std::shared_ptr<LanguageModel> model, QString word,
                                            QList<HanjaEntry> entries, QString context);
    // arrange() without a model, at once.
    static Arrangement arrangeByFrequency(const QString& word, const QList<HanjaEntry>& entries);

private:
    // Absent when the model failed or gave nothing usable.
    static QCoro::Task<std::optional<QList<RankedCandidate>>> rankWithModel(
        std::shared_ptr<LanguageModel> model, QString word, QList<HanjaEntry> pool, QString context, int limit);
};
