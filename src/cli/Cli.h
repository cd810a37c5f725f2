#pragma once

#include <QString>
#include <QStringList>
#include <QTextStream>

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

// Prints "sorelwick: message" and the usage line of the command; returns kExitUsage.
int usageError(const QString& command, const QString& message);

} // namespace Cli

// Commands; each takes the arguments after its name.
int lookupCommand(const QStringList& args);
int historyCommand(const QStringList& args);
int fixCommand(const QStringList& args);
int simulateCommand(const QStringList& args);
