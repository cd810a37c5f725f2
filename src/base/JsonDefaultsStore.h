#pragma once

#include "base/DefaultsStore.h"
#include "base/SafeFile.h"

#include <QElapsedTimer>
#include <QList>
#include <QJsonObject>
#include <QMutex>

#include <chrono>
#include <optional>
#include <variant>

// Defaults kept in one JSON object file, shared by every process of the user (the desktop
// application and command-line picks run side by side).
// - Reads take the file as it is on disk whenever it changed; only regular files are read.
// - Every change is a read-modify-write of the whole file under an flock on "<name>.lock" beside
//   it, written atomically, so no process loses another's change and a crash never leaves half
//   a file.
// - A file that does not parse may be half written (an editor saving in place, slowly on a busy
//   machine): the values in force stay, and a first read waits, until it parses or has stayed as
//   it is for the settle time. Only then is it broken: moved aside to a free name
//   "<name>.broken-<timestamp>[-N]" under the lock, and reading goes on with no values. One that
//   cannot be moved aside is read again only once it changes.
// - A new file is the user's alone (0600): it holds what the user wrote and picked.
// - A file that cannot be read, or cannot be replaced (a directory, a dangling symlink, a file or
//   folder without write permission), is never overwritten: the change fails and says why.
//   Changes kept unsaved are made again, in order, over whatever the file holds until one write
//   succeeds, so what other processes wrote meanwhile is neither hidden nor overwritten.
class JsonDefaultsStore : public DefaultsStore {
public:
    // How long a file that does not parse has to stay unchanged before it is taken as broken.
    static constexpr std::chrono::milliseconds kSettle{2000};
    // How long a change waits for another process's change to finish.
    static constexpr std::chrono::milliseconds kLockWait = SafeFile::kLockWait;

    explicit JsonDefaultsStore(QString path, std::chrono::milliseconds settle = kSettle);

    QJsonValue value(const QString& key) override;
    bool update(const QString& key, const Change& change, Unsaved unsaved = Unsaved::keep) override;
    bool holdsUnsaved() override;
    std::optional<QString> readFailure() override;

    QString path() const { return m_path; }

    // The settings in a file's bytes, or why they are none (not JSON, not an object).
    static std::variant<QJsonObject, QString> parse(const QByteArray& bytes);

private:
    struct Stamp {
        bool exists = false;
        qint64 size = 0;
        qint64 mtimeNs = 0;
        qint64 ctimeNs = 0;
        quint64 inode = 0;
        bool operator==(const Stamp&) const = default;
    };
    enum class State { missing, ok, broken, unreadable };
    struct Read {
        State state = State::missing;
        QJsonObject object;
        QString reason; // for broken and unreadable
        Stamp stamp;
        bool settled = true; // false: broken, but still changing
    };

    Stamp stampNow() const;
    Read readOnce() const;
    // readOnce, and again while the file does not parse and has not settled, for at most `wait`.
    Read readSettled(std::chrono::milliseconds wait);
    bool hasSettled(const Stamp& stamp);
    void refresh();
    void take(const Read& read);
    QJsonObject withUnsaved(QJsonObject object) const;
    static bool applyChange(QJsonObject& object, const QString& key, const Change& change);
    bool moveAside(const QString& reason);
    bool writeFile(const QJsonObject& object);

    QMutex m_mutex;
    QString m_path;
    std::chrono::milliseconds m_settle;
    QJsonObject m_object; // the file's values with the unsaved ones over them
    Stamp m_stamp;
    bool m_loaded = false;
    QString m_readFailure; // why the file in force could not be read
    Stamp m_brokenStamp; // of the last file that did not parse once settled
    // A file that does not parse, since when it has been seen as it is, and whether that was logged.
    Stamp m_changingStamp;
    QElapsedTimer m_changingSince;
    bool m_changingLogged = false;
    // Changes the file does not hold yet, in the order they were made.
    QList<std::pair<QString, Change>> m_unsaved;
};
