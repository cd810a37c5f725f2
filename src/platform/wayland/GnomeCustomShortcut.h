#pragma once

#include <QString>

#include <optional>

// Our GNOME custom shortcut: gnome-settings-daemon's media-keys plugin runs its command when the
// binding is pressed, whatever window has the focus. It lives at a path of its own in the
// custom-keybindings list; the user's other custom shortcuts are only read, never written.
namespace GnomeCustomShortcut {

inline const QString path = QStringLiteral("/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/sorelwick/");
inline const QString name = QStringLiteral("소렐: 한자 후보");

// Whether the desktop has the schemas (GNOME's settings daemon is installed).
bool isAvailable();
// Writes ours and puts it in the list; false, logged, when the settings refuse the write.
bool install(const QString& binding, const QString& command);
// Takes ours out of the list and clears its keys; true when nothing of ours is left.
bool remove();
// The name of another custom shortcut with the same binding, if there is one.
std::optional<QString> heldBy(const QString& binding);
// Ours as the settings hold it now (binding, command); absent when ours is not in the list.
std::optional<std::pair<QString, QString>> installed();

} // namespace GnomeCustomShortcut
