#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <optional>

// The command-line front end: `sorelwick COMMAND [OPTIONS] ARGS...`.
namespace Cli {

// Runs the program with its arguments; returns the exit code.
int run(int argc, char** argv);

QTextStream& out();
QTextStream& err();

// Exit codes shared by the commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNothing = 1; // a notice instead of a list, nothing offered
inline constexpr int kExitUsage = 2;
inline constexpr int kExitOutput = 3; // what was printed could not be written

// Row numbers given as "1,3,2" (each 1 or more); nothing when the text is not such a list.
std::optional<QList<qsizetype>> rowList(const QString& text);

// Prints "sorelwick: message" and the usage line of the command; returns kExitUsage.
int usageError(const QString& command, const QString& message);

} // namespace Cli

// Commands; each takes the arguments after its name.
int lookupCommand(const QStringList& args);
int historyCommand(const QStringList& args);
int fixCommand(const QStringList& args);
int simulateCommand(const QStringList& args);
int wordsCommand(const QStringList& args);
