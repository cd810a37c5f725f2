#include "cli/Cli.h"

#include "core/CandidatePanel.h"
#include "core/Coordinator.h"
#include "core/HanjaDictionary.h"
#include "core/KeyboardLayoutFix.h"
#include "core/PickHistory.h"
#include "core/RankEngine.h"
#include "core/Ranker.h"
#include "core/TextUtil.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <qcoro/qcorotask.h>

namespace {

struct Options {
    std::optional<Coordinator::Format> format;
    std::optional<Coordinator::MeaningStyle> meaning;
    bool json = false;
    QString context;
    std::optional<qsizetype> pick; // 1-based row
    QStringList texts;
};

struct Outcome {
    QString header;
    QList<Candidate> rows;
    QString notice; // set when no list is shown
};

bool isDictionaryShaped(const QString& text)
{
    for (QChar c : text)
        if (!TextUtil::isHangulSyllable(c.unicode())) return false;
    return TextUtil::characterCount(text) <= 12;
}

// The layout-fix list: the converted text, and the typo-cleanup offer when the selection has words
// separated by spaces and the model is there to clean it up.
Outcome layoutOffer(const QString& selection, const QString& text, const KeyboardLayoutFix::Suggestion& suggestion)
{
    Outcome outcome;
    outcome.header = QStringLiteral("자판 되돌리기 · \"") + TextUtil::displayCut(text) + QLatin1Char('"');
    Candidate row;
    row.primary = suggestion.text;
    row.secondary = suggestion.secondary();
    row.replacement = suggestion.text;
    row.kind = CandidateKind::layout;
    outcome.rows.append(row);
    // Only the plain space makes a second word; tabs and line breaks do not.
    if (selection.split(QLatin1Char(' '), Qt::SkipEmptyParts).size() >= 2
        && QCoro::waitFor(engineInForce()) == RankEngine::appleIntelligence) {
        Candidate offer;
        offer.primary = QStringLiteral("오타 정리…");
        offer.secondary = QStringLiteral("문맥을 보고 맞춤법·띄어쓰기 교정");
        offer.kind = CandidateKind::action;
        outcome.rows.append(offer);
    }
    return outcome;
}

Outcome lookUp(const QString& selection, const Options& options)
{
    HanjaDictionary& dictionary = HanjaDictionary::shared();
    const QString text = TextUtil::trimmed(selection);
    if (text.isEmpty()) return {QString(), {}, QStringLiteral("선택된 텍스트가 없습니다")};
    // Layout typos are recognised before any dictionary lookup.
    if (const auto suggestion = KeyboardLayoutFix::suggest(text)) return layoutOffer(selection, text, *suggestion);

    std::optional<HanjaDictionary::Split> split;
    QList<HanjaEntry> entries;
    if (isDictionaryShaped(text)) split = dictionary.split(text);
    if (split) entries = dictionary.candidates(split->stem);
    if (entries.isEmpty())
        return {QString(), {}, QStringLiteral("사전에 없는 말이고, 이 컴퓨터에선 교정 모델을 쓸 수 없습니다")};

    const Coordinator::Format format = options.format.value_or(Coordinator::format());
    const Coordinator::MeaningStyle style = options.meaning.value_or(Coordinator::meaningStyle());
    Outcome outcome;
    const QString engine = QCoro::waitFor(engineInForce()) == RankEngine::appleIntelligence ? QStringLiteral("AI")
                                                                                             : QStringLiteral("빈도순");
    outcome.header = QLatin1Char('"') + split->stem + QLatin1Char('"') + split->rest + QStringLiteral(" · ") + engine
        + QStringLiteral(" · ") + Coordinator::formatPreview(format);
    const Ranker::Arrangement arranged = QCoro::waitFor(Ranker::arrange(split->stem, entries, options.context));
    for (const HanjaEntry& e : arranged.entries) {
        Candidate row;
        row.primary = e.hanja().toString();
        row.secondary = Coordinator::meaningText(e, style, arranged.meanings, dictionary);
        row.replacement = Coordinator::example(format, split->stem, e.hanja()) + split->rest;
        row.kind = CandidateKind::hanja;
        row.word = split->stem;
        outcome.rows.append(row);
    }
    return outcome;
}

QJsonObject toJson(const QString& text, const Outcome& outcome)
{
    QJsonObject object{{QStringLiteral("text"), text}};
    if (!outcome.notice.isEmpty()) {
        object.insert(QStringLiteral("notice"), outcome.notice);
        return object;
    }
    object.insert(QStringLiteral("header"), outcome.header);
    QJsonArray rows;
    for (const Candidate& c : outcome.rows)
        rows.append(QJsonObject{{QStringLiteral("primary"), c.primary},
                                {QStringLiteral("secondary"), c.secondary},
                                {QStringLiteral("replacement"), c.replacement},
                                {QStringLiteral("kind"), rawValue(c.kind)}});
    object.insert(QStringLiteral("rows"), rows);
    return object;
}

void printText(const Outcome& outcome)
{
    QTextStream& o = Cli::out();
    if (!outcome.notice.isEmpty()) {
        o << outcome.notice << "\n";
        return;
    }
    o << outcome.header << "\n";
    for (qsizetype i = 0; i < outcome.rows.size(); ++i) {
        const Candidate& c = outcome.rows[i];
        o << QStringLiteral("%1. ").arg(i + 1, 2) << c.primary << "\n";
        if (!c.secondary.isEmpty()) o << "    " << c.secondary << "\n";
        if (!c.replacement.isEmpty() && c.kind != CandidateKind::layout) o << "    → " << c.replacement << "\n";
    }
}

// Picking the typo-cleanup offer: the model corrects the text as selected, and its answer is what
// would be written.
int cleanUpFromOffer(const QString& text, const Options& options)
{
    const std::optional<QString> corrected = QCoro::waitFor(Ranker::cleanTypos(text, options.context));
    if (!corrected) {
        Cli::out() << "고칠 곳이 없습니다\n";
        return Cli::kExitNothing;
    }
    if (options.json)
        Cli::out() << QJsonDocument(QJsonObject{{QStringLiteral("text"), text},
                                                {QStringLiteral("primary"), *corrected},
                                                {QStringLiteral("replacement"), *corrected},
                                                {QStringLiteral("kind"), rawValue(CandidateKind::proofread)}})
                          .toJson(QJsonDocument::Compact)
                   << "\n";
    else
        Cli::out() << *corrected << "\n";
    return Cli::kExitOk;
}

// The pick as a session makes it: a Hanja row is learned, then the replacement is what would be written.
int pickRow(const QString& text, const Options& options)
{
    const Outcome outcome = lookUp(text, options);
    if (!outcome.notice.isEmpty()) {
        Cli::out() << outcome.notice << "\n";
        return Cli::kExitNothing;
    }
    const qsizetype n = *options.pick;
    if (n > outcome.rows.size())
        return Cli::usageError(QStringLiteral("lookup"),
                               QStringLiteral("no row %1: the list has %2").arg(n).arg(outcome.rows.size()));
    const Candidate& row = outcome.rows[n - 1];
    if (row.kind == CandidateKind::action) return cleanUpFromOffer(text, options);
    if (row.kind == CandidateKind::hanja) PickHistory::shared().record(row.word, row.primary, QDateTime::currentDateTime());
    if (options.json)
        Cli::out() << QJsonDocument(QJsonObject{{QStringLiteral("text"), text},
                                                {QStringLiteral("primary"), row.primary},
                                                {QStringLiteral("replacement"), row.replacement},
                                                {QStringLiteral("kind"), rawValue(row.kind)}})
                          .toJson(QJsonDocument::Compact)
                   << "\n";
    else
        Cli::out() << row.replacement << "\n";
    return Cli::kExitOk;
}

} // namespace

int lookupCommand(const QStringList& args)
{
    const QString name = QStringLiteral("lookup");
    Options options;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--json")) {
            options.json = true;
        } else if (a == QLatin1String("--context")) {
            if (i + 1 >= args.size()) return Cli::usageError(name, a + QStringLiteral(" needs a value"));
            options.context = args[++i];
        } else if (a == QLatin1String("--pick")) {
            bool ok = false;
            const qsizetype n = i + 1 < args.size() ? args[i + 1].toLongLong(&ok) : 0;
            if (!ok || n < 1) return Cli::usageError(name, QStringLiteral("--pick needs a row number (1, 2, …)"));
            options.pick = n;
            ++i;
        } else if (a == QLatin1String("--format") || a == QLatin1String("--meaning")) {
            if (i + 1 >= args.size()) return Cli::usageError(name, a + QStringLiteral(" needs a value"));
            const QString value = args[++i];
            if (a == QLatin1String("--format")) {
                options.format = Coordinator::formatFromRawValue(value);
                if (!options.format)
                    return Cli::usageError(name, QStringLiteral("unknown format '%1' (hangulParenHanja, "
                                                                "hanjaParenHangul, hanjaOnly)").arg(value));
            } else {
                options.meaning = Coordinator::meaningStyleFromRawValue(value);
                if (!options.meaning)
                    return Cli::usageError(name, QStringLiteral("unknown meaning style '%1' (none, gloss, "
                                                                "summary)").arg(value));
            }
        } else if (a == QLatin1String("--")) {
            options.texts += args.mid(i + 1);
            break;
        } else if (a.startsWith(QLatin1String("--"))) {
            return Cli::usageError(name, QStringLiteral("unknown option '%1'").arg(a));
        } else {
            options.texts.append(a);
        }
    }
    if (options.texts.isEmpty()) return Cli::usageError(name, QStringLiteral("no TEXT to look up"));
    if (options.pick) {
        if (options.texts.size() != 1) return Cli::usageError(name, QStringLiteral("--pick takes exactly one TEXT"));
        return pickRow(options.texts.first(), options);
    }

    int code = Cli::kExitOk;
    bool first = true;
    for (const QString& text : options.texts) {
        const Outcome outcome = lookUp(text, options);
        if (!outcome.notice.isEmpty()) code = Cli::kExitNothing;
        if (options.json) {
            Cli::out() << QJsonDocument(toJson(text, outcome)).toJson(QJsonDocument::Compact) << "\n";
        } else {
            if (!first) Cli::out() << "\n";
            printText(outcome);
        }
        first = false;
    }
    return code;
}
