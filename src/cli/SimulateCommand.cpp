#include "cli/Cli.h"
#include "cli/SimulatedDesktop.h"

#include "core/CandidatePanel.h"
#include "platform/Types.h"

// `simulate` shows a whole session on an editor in memory: the text, the selection, the panel a
// shortcut press brings up, and the text after a pick; for a selection of several words, one
// answer per step in order.
namespace {

struct Action {
    enum class Kind { pick, skip, back, cancel } kind;
    qsizetype row = 0;
};

// The answers given one step at a time; the steps left at the end keep their Hangul.
int stepThrough(SimulatedDesktop& desktop, const QList<Action>& actions, bool option)
{
    QTextStream& o = Cli::out();
    SimulatedDesktop::Panel shown;
    for (const Action& a : actions) {
        if (!desktop.stepping()) {
            o << "\nno step is left for the next answer\n";
            break;
        }
        switch (a.kind) {
        case Action::Kind::pick: {
            const QList<Candidate> rows = CandidatePanel::shared().model().items();
            if (a.row > rows.size()) return Cli::usageError(QStringLiteral("simulate"),
                                                            QStringLiteral("there is no row %1 to pick").arg(a.row));
            o << "\npicked " << a.row << (option ? " with Alt" : "") << ": " << rows[a.row - 1].primary << "\n";
            shown = desktop.pickStep(a.row, option);
            break;
        }
        case Action::Kind::skip:
            o << "\nskipped\n";
            shown = desktop.key(KeyCode::space);
            break;
        case Action::Kind::back:
            o << "\nback\n";
            shown = desktop.key(KeyCode::backspace);
            break;
        case Action::Kind::cancel:
            o << "\ncancelled\n";
            shown = desktop.key(KeyCode::escape);
            break;
        }
        if (shown.state != SimulatedDesktop::Panel::State::hidden) {
            o << "the panel shows:\n";
            printPanel(shown, /*collapsed=*/true);
        }
    }
    while (desktop.stepping()) {
        o << "\nskipped\n";
        shown = desktop.key(KeyCode::space);
        if (shown.state != SimulatedDesktop::Panel::State::hidden) printPanel(shown, /*collapsed=*/true);
    }
    o << "\neditor:   " << desktop.text() << "\n";
    return Cli::kExitOk;
}

} // namespace

int simulateCommand(const QStringList& args)
{
    const QString name = QStringLiteral("simulate");
    std::optional<QString> selection;
    QList<Action> actions;
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
            actions.append({Action::Kind::pick, n});
            ++i;
        } else if (a == QLatin1String("--skip")) {
            actions.append({Action::Kind::skip});
        } else if (a == QLatin1String("--back")) {
            actions.append({Action::Kind::back});
        } else if (a == QLatin1String("--cancel")) {
            actions.append({Action::Kind::cancel});
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
        if (!actions.isEmpty()) return Cli::usageError(name, QStringLiteral("--compose takes no --pick, --skip, --back or --cancel"));
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
    if (desktop.stepping()) return stepThrough(desktop, actions, option);
    if (actions.isEmpty()) return shown.state == SimulatedDesktop::Panel::State::list ? Cli::kExitOk : Cli::kExitNothing;
    if (actions.size() > 1 || actions.first().kind != Action::Kind::pick)
        return Cli::usageError(name, QStringLiteral("one word takes one --pick; --skip, --back and --cancel step "
                                                    "through a selection of several words"));
    const qsizetype pick = actions.first().row;
    if (shown.state != SimulatedDesktop::Panel::State::list || pick > shown.rows.size())
        return Cli::usageError(name, QStringLiteral("there is no row %1 to pick").arg(pick));

    o << "\npicked " << pick << (option ? " with Alt" : "") << ": " << shown.rows[pick - 1].primary << "\n";
    const SimulatedDesktop::Panel after = desktop.pick(pick, option);
    if (after.state != SimulatedDesktop::Panel::State::hidden) {
        o << "the panel shows:\n";
        printPanel(after, /*collapsed=*/true);
    }
    o << "\neditor:   " << desktop.text() << "\n";
    return Cli::kExitOk;
}
