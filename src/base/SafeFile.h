#pragma once

// Writing a user's file so that nothing is lost: an exclusive lock beside it that every process
// of the user takes for a read-modify-write, a whole new file renamed over the old one (a reader
// sees the old file or the new one, never half of one), and a rename that never replaces.

#include <QByteArray>
#include <QString>

#include <chrono>
#include <optional>
#include <sys/types.h>

namespace SafeFile {

// How long a change waits for another process's change to finish.
inline constexpr std::chrono::milliseconds kLockWait{5000};

QString systemError(int error);

// An exclusive flock on a lock file, held while it lives; why not, when it could not be taken.
class Lock {
public:
    explicit Lock(const QString& path, std::chrono::milliseconds wait = kLockWait);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    bool locked() const { return m_locked; }
    QString error() const { return m_error; }

private:
    int m_fd = -1;
    bool m_locked = false;
    QString m_error;
};

// Renames without replacing anything; false with errno EEXIST when the name is taken.
bool renameNoReplace(const QByteArray& from, const QByteArray& to);

// Writes bytes to a new file beside the target, synced, and renames it over the target; why not
// (nothing is left behind then).
std::optional<QString> replace(const QByteArray& target, const QByteArray& bytes, mode_t mode);

} // namespace SafeFile
