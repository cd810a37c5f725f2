#include "cli/Cli.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "core/PickHistory.h"

int historyCommand(const QStringList& args)
{
    const QString name = QStringLiteral("history");
    bool clear = false;
    for (const QString& a : args) {
        if (a == QLatin1String("--clear"))
            clear = true;
        else
            return Cli::usageError(name, QStringLiteral("unknown argument '%1'").arg(a));
    }
    const Log::Collector log;
    if (clear && !PickHistory::shared().clear()) {
        Cli::err() << "sorelwick: the history could not be cleared\n";
        for (const QString& line : log.lines()) Cli::err() << line << "\n";
        return Cli::kExitNothing;
    }
    // A count of nothing read is no count.
    if (const std::optional<QString> failure = Defaults::shared().readFailure()) {
        Cli::err() << "sorelwick: the history cannot be read: " << *failure << "\n";
        return Cli::kExitNothing;
    }
    // The number of learned (word, Hanja) pairs.
    Cli::out() << PickHistory::shared().count() << "\n";
    return Cli::kExitOk;
}
