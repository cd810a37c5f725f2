#include "cli/Cli.h"

#include "core/UserWords.h"

#include <QDateTime>
#include <QFile>

// `words` lists, adds, removes, imports and exports the user's own words.
namespace {

int saveFailed(const QString& reason)
{
    Cli::err() << "sorelwick: " << reason << "\n";
    return Cli::kExitNothing;
}

int list()
{
    for (const UserWord& w : UserWords::shared().table()->words()) {
        Cli::out() << w.hangul << "\t" << w.hanja;
        if (!w.gloss.isEmpty() || w.added.isValid()) Cli::out() << "\t" << w.gloss;
        if (w.added.isValid()) Cli::out() << "\t" << w.added.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
        Cli::out() << "\n";
    }
    return Cli::kExitOk;
}

int importFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return saveFailed(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    const UserWords::ImportReport report = UserWords::shared().importLines(file.readAll(), QDateTime::currentDateTimeUtc());
    if (report.failure) return saveFailed(*report.failure);
    Cli::out() << "taken " << report.taken << ", duplicates " << report.duplicates << ", malformed " << report.malformed
               << "\n";
    if (report.malformed) Cli::out() << "first refused: " << report.firstRefused << " (" << report.refusedWhy << ")\n";
    return Cli::kExitOk;
}

int exportFile(const QString& path)
{
    const QByteArray bytes = UserWords::shared().exportLines();
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush())
        return saveFailed(QStringLiteral("cannot write %1: %2").arg(path, file.errorString()));
    Cli::out() << "exported " << UserWords::shared().table()->words().size() << " words to " << path << "\n";
    return Cli::kExitOk;
}

} // namespace

int wordsCommand(const QStringList& args)
{
    const QString name = QStringLiteral("words");
    if (args.isEmpty()) return list();
    const QString& verb = args.first();
    if (verb == QLatin1String("--import") || verb == QLatin1String("--export")) {
        if (args.size() != 2) return Cli::usageError(name, verb + QStringLiteral(" needs one FILE"));
        return verb == QLatin1String("--import") ? importFile(args[1]) : exportFile(args[1]);
    }
    if (verb == QLatin1String("add")) {
        if (args.size() < 3 || args.size() > 4) return Cli::usageError(name, QStringLiteral("add needs HANGUL HANJA [GLOSS]"));
        const UserWords::Result r = UserWords::shared().add(args[1], args[2], args.value(3), QDateTime::currentDateTimeUtc());
        if (!r.ok) {
            // A spelling that does not read as the word is the user's mistake; a failed save is not.
            if (UserWords::shared().refusal(args[1], args[2])) return Cli::usageError(name, r.reason);
            return saveFailed(r.reason);
        }
        if (!r.changed) Cli::out() << "already there: ";
        else Cli::out() << "added: ";
        Cli::out() << args[1] << " " << args[2] << "\n";
        return Cli::kExitOk;
    }
    if (verb == QLatin1String("remove")) {
        if (args.size() != 3) return Cli::usageError(name, QStringLiteral("remove needs HANGUL HANJA"));
        const UserWords::Result r = UserWords::shared().remove(args[1], args[2]);
        if (!r.ok) return saveFailed(r.reason);
        if (!r.changed) {
            Cli::err() << "sorelwick: no such word: " << args[1] << " " << args[2] << "\n";
            return Cli::kExitNothing;
        }
        Cli::out() << "removed: " << args[1] << " " << args[2] << "\n";
        return Cli::kExitOk;
    }
    return Cli::usageError(name, QStringLiteral("unknown argument '%1'").arg(verb));
}
