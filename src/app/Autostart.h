#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Starting at login, the user's choice: $XDG_CONFIG_HOME/autostart/sorelwick.desktop exists or not.
namespace Autostart {

// $XDG_CONFIG_HOME/autostart/sorelwick.desktop, with ~/.config when the variable is unset or relative.
QString filePath();
bool isEnabled();

// The entry that starts the program at the given path (quoted as desktop entries quote).
QByteArray entry(const QString& executable);
// The value of an Exec key that runs the program at that path with no arguments.
QString execValue(const QString& executable);

// Writes the entry (atomically) or removes it; absent on success, else a message for the user.
// A failure is also logged; an existing file is never left half written.
std::optional<QString> enable(const QString& executable);
std::optional<QString> disable();

} // namespace Autostart
