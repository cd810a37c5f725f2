#include "cli/Cli.h"

#include "core/LanguageModels.h"
#include "core/UserWords.h"
#include "platform/model/OpenAiCompatibleModel.h"

#include "base/Resources.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

namespace {

struct Command {
    QString name;
    QString usage;
    QString summary;
    std::function<int(const QStringList&)> run;
};

const QList<Command>& commands()
{
    static const QList<Command> table = {
        {QStringLiteral("lookup"),
         QStringLiteral("lookup [--format F] [--meaning S] [--context C] [--json] [--pick N | --compose R,R...] TEXT..."),
         QStringLiteral("show the candidate list a shortcut press would show for TEXT; with --pick, "
                        "pick row N as the panel would (the pick is learned); with --compose, spell the word "
                        "one character at a time, row R of each syllable (it is added to your words)"),
         lookupCommand},
        {QStringLiteral("history"), QStringLiteral("history [--clear]"),
         QStringLiteral("print how many picks are learned; --clear forgets them"), historyCommand},
        {QStringLiteral("simulate"), QStringLiteral("simulate TEXT [--select PART] [--pick N [--alt] | --compose R,R...]"),
         QStringLiteral("run a whole session on an editor in memory holding TEXT with PART selected, and show "
                        "the panel and the text after picking row N (--alt copies instead)"),
         simulateCommand},
        {QStringLiteral("words"),
         QStringLiteral("words [add HANGUL HANJA [GLOSS] | remove HANGUL HANJA | --import FILE | --export FILE]"),
         QStringLiteral("list your own words (hangul:hanja:gloss lines), add or remove one (the Hanja must read as the "
                        "Hangul syllable by syllable), or import or export a file of them"),
         wordsCommand},
        {QStringLiteral("fix"), QStringLiteral("fix TEXT..."), QStringLiteral("convert TEXT typed on the wrong keyboard layout (dkssud → 안녕, ㅗ디ㅣㅐ → hello)"), fixCommand},
    };
    return table;
}

void printHelp()
{
    QTextStream& o = Cli::out();
    o << "Usage: sorelwick COMMAND [OPTIONS] ARGS...\n\n"
      << "Sorelwick writes Hanja for Korean words. Commands:\n";
    for (const Command& c : commands()) o << "  " << c.usage << "\n      " << c.summary << "\n";
    o << "\n  --help       this text\n  --version    the version\n";
}

// Output that did not arrive (a full disk, say) is a failure, not a success with nothing printed.
int finish(int code)
{
    errno = 0;
    Cli::out().flush();
    const bool failed = Cli::out().status() != QTextStream::Ok || std::fflush(stdout) != 0 || std::ferror(stdout);
    const int why = errno;
    if (failed) {
        Cli::err() << "sorelwick: could not write the output"
                   << (why ? QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(why)) : QString()) << "\n";
        code = Cli::kExitOutput;
    }
    Cli::err().flush();
    return code;
}

int dispatch(QStringList args)
{
    using namespace Cli;
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
        printHelp();
        return args.isEmpty() ? kExitUsage : kExitOk;
    }
    if (args.first() == QLatin1String("--version")) {
        out() << "sorelwick " << SORELWICK_VERSION << "\n";
        const QString dictionary = Resources::locate(QStringLiteral("hanja.tsv"));
        out() << "data: " << (dictionary.isEmpty() ? QStringLiteral("not found in ") + Resources::dataDirectories()
                                                   : QFileInfo(dictionary).path())
              << "\n";
        // What to bind a desktop shortcut to, with --trigger.
        out() << "command: " << Resources::frontProgram() << "\n";
        return kExitOk;
    }
    const QString name = args.takeFirst();
    for (const Command& c : commands()) {
        if (c.name != name) continue;
        // After "--" every argument is text, also one that reads "--help".
        if (args.mid(0, args.indexOf(QLatin1String("--"))).contains(QLatin1String("--help"))) {
            out() << "usage: sorelwick " << c.usage << "\n" << c.summary << "\n";
            return kExitOk;
        }
        return c.run(args);
    }
    err() << "sorelwick: unknown command '" << name << "' (see sorelwick --help)\n";
    return kExitUsage;
}

} // namespace

namespace Cli {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

std::optional<QList<qsizetype>> rowList(const QString& text)
{
    QList<qsizetype> rows;
    for (const QString& piece : text.split(QLatin1Char(','))) {
        bool ok = false;
        const qsizetype n = piece.trimmed().toLongLong(&ok);
        if (!ok || n < 1) return std::nullopt;
        rows.append(n);
    }
    return rows;
}

int usageError(const QString& command, const QString& message)
{
    err() << "sorelwick: " << message << "\n";
    for (const Command& c : commands())
        if (c.name == command) err() << "usage: sorelwick " << c.usage << "\n";
    err().flush();
    return kExitUsage;
}

int run(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sorelwick"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SORELWICK_VERSION));
    // The local model server, when one runs, ranks and corrects; without one nothing is sent.
    // It goes before the application object does.
    LanguageModels::setShared(std::make_shared<OpenAiCompatibleModel>());
    struct ModelGuard {
        ~ModelGuard() { LanguageModels::setShared(nullptr); }
    } modelGuard;
    UserWords::shared().attachTo(HanjaDictionary::shared());
    QStringList args = app.arguments();
    args.removeFirst();
    return finish(dispatch(args));
}

} // namespace Cli
