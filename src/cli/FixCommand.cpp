#include "cli/Cli.h"

#include "core/KeyboardLayoutFix.h"

// `sorelwick fix TEXT...`: the layout fix a shortcut press would offer for TEXT, the converted text
// and the line under it. The words are one text, joined by single spaces, so that
// `sorelwick fix dkssud gktpdy` reads like the quoted form.
int fixCommand(const QStringList& args)
{
    const QString name = QStringLiteral("fix");
    QStringList words;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--")) {
            words += args.mid(i + 1);
            break;
        }
        if (args[i].startsWith(QLatin1String("--")))
            return Cli::usageError(name, QStringLiteral("unknown option '%1'").arg(args[i]));
        words.append(args[i]);
    }
    if (words.isEmpty())
        return Cli::usageError(name, QStringLiteral("no TEXT to fix"));

    const auto suggestion = KeyboardLayoutFix::suggest(words.join(QLatin1Char(' ')));
    if (!suggestion) {
        Cli::err() << "sorelwick: 자판을 잘못 친 글로 보이지 않습니다\n";
        return Cli::kExitNothing;
    }
    Cli::out() << suggestion->text << "\n" << suggestion->secondary() << "\n";
    return Cli::kExitOk;
}
