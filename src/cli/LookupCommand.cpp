#include "cli/Cli.h"
#include "cli/SimulatedDesktop.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "base/Notifier.h"
#include "core/EnumKeys.h"
#include "core/MeaningLine.h"
#include "core/PickHistory.h"
#include "core/ReplacementFormat.h"
#include "core/SentenceSteps.h"
#include "base/TextUtil.h"
#include "platform/Types.h"

#include <QJsonArray>

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

// `lookup` runs what a shortcut press runs, on an editor in memory that holds TEXT selected,
// and prints the panel instead of showing it.
namespace {

struct Options {
    QJsonObject overrides; // format and meaning style for this run
    bool json = false;
    QString context;
    std::optional<qsizetype> pick; // 1-based row
    std::optional<QList<qsizetype>> compose; // a row of each syllable's step
    QStringList texts;
};

// The selection in its context, as the editor holds it.
void openIn(SimulatedDesktop& desktop, const QString& text, const Options& options)
{
    if (options.context.isEmpty()) desktop.open(text);
    else if (options.context.contains(text)) desktop.open(options.context, text);
    else desktop.open(options.context + QLatin1Char(' ') + text, text);
}

void printPick(const QString& text, const Candidate& row, const Options& options)
{
    if (options.json)
        Cli::out() << QJsonDocument(QJsonObject{{QStringLiteral("text"), text},
                                                {QStringLiteral("primary"), row.primary},
                                                {QStringLiteral("replacement"), row.replacement},
                                                {QStringLiteral("kind"), EnumKeys::key(row.kind)}})
                          .toJson(QJsonDocument::Compact)
                   << "\n";
    else
        Cli::out() << row.replacement << "\n";
}

// The pick as a session makes it: a Hanja row is learned and the replacement written; the
// typo-cleanup offer asks the model and shows what it would write.
int pickRow(const QString& text, const Options& options)
{
    SimulatedDesktop desktop(options.overrides);
    const Log::Collector log;
    bool notSaved = false;
    const Notifier::Handle watch = Notifier::shared().observe(PickHistory::didFailToSave, [&] { notSaved = true; });
    const struct Unwatch {
        Notifier::Handle handle;
        ~Unwatch() { Notifier::shared().remove(handle); }
    } unwatch{watch};
    openIn(desktop, text, options);
    const SimulatedDesktop::Panel shown = desktop.press();
    if (shown.state != SimulatedDesktop::Panel::State::list) {
        Cli::out() << shown.header << "\n";
        return Cli::kExitNothing;
    }
    if (desktop.stepping()) {
        desktop.key(KeyCode::escape);
        return Cli::usageError(QStringLiteral("lookup"), QStringLiteral("--pick answers one word; `simulate` steps "
                                                                       "through a selection of several"));
    }
    const qsizetype n = *options.pick;
    if (n > shown.rows.size())
        return Cli::usageError(QStringLiteral("lookup"),
                               QStringLiteral("no row %1: the list has %2").arg(n).arg(shown.rows.size()));
    const Candidate row = shown.rows[n - 1];
    const SimulatedDesktop::Panel after = desktop.pick(n);
    if (row.kind == CandidateKind::action) {
        if (after.state != SimulatedDesktop::Panel::State::list) {
            Cli::out() << after.header << "\n";
            return Cli::kExitNothing;
        }
        printPick(text, after.rows.first(), options);
        return Cli::kExitOk;
    }
    if (after.state == SimulatedDesktop::Panel::State::notice) {
        Cli::out() << after.header << "\n";
        return Cli::kExitNothing;
    }
    printPick(text, row, options);
    if (notSaved) {
        // The replacement stands; only the learning is lost.
        Cli::err() << "sorelwick: the pick was not saved, so it is not learned\n";
        // The store's own lines say why.
        for (const QString& line : log.lines())
            if (line.contains(Defaults::defaultPath())) Cli::err() << line << "\n";
        return Cli::kExitNothing;
    }
    return Cli::kExitOk;
}

// A selection of several words: each step's rows, the steps skipped one after the other.
void printSteps(SimulatedDesktop& desktop, const QString& text, SimulatedDesktop::Panel shown, const Options& options,
                bool first)
{
    // The words the steps are for, found as the session found them.
    const QString selected = TextUtil::trimmed(text).normalized(QString::NormalizationForm_C);
    const SentenceSteps::Steps found = SentenceSteps::find(selected, HanjaDictionary::shared());
    QJsonArray steps;
    for (qsizetype i = 0; shown.state == SimulatedDesktop::Panel::State::list; ++i) {
        if (!shown.rows.isEmpty() && shown.rows.last().kind == CandidateKind::action) shown.rows.removeLast();
        const QString word = i < found.steps.size() ? selected.mid(found.steps[i].start, found.steps[i].length) : QString();
        if (options.json) {
            steps.append(panelJson(word, shown));
        } else {
            if (!first || i > 0) Cli::out() << "\n";
            printPanel(shown);
        }
        if (!desktop.stepping()) break;
        shown = desktop.key(KeyCode::space);
    }
    if (options.json)
        Cli::out() << QJsonDocument(QJsonObject{{QStringLiteral("text"), text}, {QStringLiteral("steps"), steps}})
                          .toJson(QJsonDocument::Compact)
                   << "\n";
}

// The word spelled one character at a time, as the panel's steps take it; the editor's text after it.
int composeWord(const QString& text, const Options& options)
{
    SimulatedDesktop desktop(options.overrides);
    openIn(desktop, text, options);
    const SimulatedDesktop::Panel shown = desktop.press();
    const bool offered = std::any_of(shown.rows.cbegin(), shown.rows.cend(),
                                     [](const Candidate& c) { return c.kind == CandidateKind::compose; });
    if (!offered) {
        printPanel(shown);
        Cli::err() << "sorelwick: '" << text << "' cannot be spelled one character at a time (2 to 12 syllables)\n";
        return Cli::kExitNothing;
    }
    const SimulatedDesktop::Panel after = desktop.compose(*options.compose);
    if (after.state != SimulatedDesktop::Panel::State::hidden) {
        // Rows for fewer syllables than the word has, or a row the step does not have.
        printPanel(after);
        return Cli::kExitNothing;
    }
    Cli::out() << desktop.text() << "\n";
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
        } else if (a == QLatin1String("--compose")) {
            options.compose = i + 1 < args.size() ? Cli::rowList(args[++i]) : std::nullopt;
            if (!options.compose) return Cli::usageError(name, QStringLiteral("--compose needs row numbers (1,3,…)"));
        } else if (a == QLatin1String("--format") || a == QLatin1String("--meaning")) {
            if (i + 1 >= args.size()) return Cli::usageError(name, a + QStringLiteral(" needs a value"));
            const QString value = args[++i];
            if (a == QLatin1String("--format")) {
                if (!EnumKeys::fromKey<ReplacementFormat::Format>(value))
                    return Cli::usageError(name, QStringLiteral("unknown format '%1' (hangulParenHanja, "
                                                                "hanjaParenHangul, hanjaOnly)").arg(value));
                options.overrides.insert(QStringLiteral("format"), value);
            } else {
                if (!EnumKeys::fromKey<MeaningLine::Style>(value))
                    return Cli::usageError(name, QStringLiteral("unknown meaning style '%1' (none, gloss, "
                                                                "summary)").arg(value));
                options.overrides.insert(QStringLiteral("meaningStyle"), value);
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
    if (options.pick && options.compose) return Cli::usageError(name, QStringLiteral("--pick or --compose, not both"));
    if (options.pick || options.compose) {
        if (options.texts.size() != 1)
            return Cli::usageError(name, QStringLiteral("--pick and --compose take exactly one TEXT"));
        return options.pick ? pickRow(options.texts.first(), options) : composeWord(options.texts.first(), options);
    }

    SimulatedDesktop desktop(options.overrides);
    int code = Cli::kExitOk;
    bool first = true;
    for (const QString& text : options.texts) {
        openIn(desktop, text, options);
        const SimulatedDesktop::Panel shown = desktop.press();
        if (shown.state != SimulatedDesktop::Panel::State::list) code = Cli::kExitNothing;
        if (desktop.stepping()) {
            printSteps(desktop, text, shown, options, first);
        } else if (options.json) {
            Cli::out() << QJsonDocument(panelJson(text, shown)).toJson(QJsonDocument::Compact) << "\n";
        } else {
            if (!first) Cli::out() << "\n";
            printPanel(shown);
        }
        first = false;
    }
    return code;
}
