#include "cli/Cli.h"
#include "cli/SimulatedDesktop.h"

// `simulate` shows a whole session on an editor in memory: the text, the selection, the panel a
// shortcut press brings up, and the text after a pick.
int simulateCommand(const QStringList& args)
{
    const QString name = QStringLiteral("simulate");
    std::optional<QString> selection;
    std::optional<qsizetype> pick;
    std::optional<QList<qsizetype>> compose;
    bool option = false;
    QStringList texts;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--select")) {
            if (i + 1 >= args.size()) return Cli::usageError(name, QStringLiteral("--select needs the selected text"));
            selection = args[++i];
        } else if (a == QLatin1String("--pick")) {
            bool ok = false;
            const qsizetype n = i + 1 < args.size() ? args[i + 1].toLongLong(&ok) : 0;
            if (!ok || n < 1) return Cli::usageError(name, QStringLiteral("--pick needs a row number (1, 2, …)"));
            pick = n;
            ++i;
        } else if (a == QLatin1String("--compose")) {
            compose = i + 1 < args.size() ? Cli::rowList(args[++i]) : std::nullopt;
            if (!compose) return Cli::usageError(name, QStringLiteral("--compose needs row numbers (1,3,…)"));
        } else if (a == QLatin1String("--alt")) {
            option = true;
        } else if (a == QLatin1String("--press")) {
            // The press always happens; accepted so that the command reads like the session.
        } else if (a.startsWith(QLatin1String("--"))) {
            return Cli::usageError(name, QStringLiteral("unknown option '%1'").arg(a));
        } else {
            texts.append(a);
        }
    }
    if (texts.size() != 1) return Cli::usageError(name, QStringLiteral("give the editor's text as one TEXT"));
    const QString text = texts.first();
    if (selection && !text.contains(*selection))
        return Cli::usageError(name, QStringLiteral("'%1' does not occur in the text").arg(*selection));

    QTextStream& o = Cli::out();
    SimulatedDesktop desktop({}, /*learn=*/false);
    desktop.open(text, selection);
    o << "editor:   " << text << "\n";
    o << "selected: " << selection.value_or(text) << "\n";
    o << "\nshortcut pressed, the panel shows:\n";
    const SimulatedDesktop::Panel shown = desktop.press();
    printPanel(shown, /*collapsed=*/true);
    if (compose) {
        if (pick) return Cli::usageError(name, QStringLiteral("--pick or --compose, not both"));
        qsizetype taken = 0;
        const SimulatedDesktop::Panel after = desktop.compose(*compose, [&](const SimulatedDesktop::Panel& step) {
            o << "\nspelled one character at a time, the panel shows:\n";
            printPanel(step);
            if (taken < compose->size()) o << "took row " << compose->at(taken++) << "\n";
        });
        if (after.state != SimulatedDesktop::Panel::State::hidden) return Cli::kExitNothing;
        o << "\neditor:   " << desktop.text() << "\n";
        return Cli::kExitOk;
    }
    if (!pick) return shown.state == SimulatedDesktop::Panel::State::list ? Cli::kExitOk : Cli::kExitNothing;
    if (shown.state != SimulatedDesktop::Panel::State::list || *pick > shown.rows.size())
        return Cli::usageError(name, QStringLiteral("there is no row %1 to pick").arg(*pick));

    o << "\npicked " << *pick << (option ? " with Alt" : "") << ": " << shown.rows[*pick - 1].primary << "\n";
    const SimulatedDesktop::Panel after = desktop.pick(*pick, option);
    if (after.state != SimulatedDesktop::Panel::State::hidden) {
        o << "the panel shows:\n";
        printPanel(after, /*collapsed=*/true);
    }
    o << "\neditor:   " << desktop.text() << "\n";
    return Cli::kExitOk;
}
