#pragma once

#include "base/DefaultsStore.h"

#include <QList>
#include <QJsonObject>
#include <QMutex>

#include <chrono>
#include <variant>

// Defaults kept in one JSON object file, shared by every process of the user (the desktop
// application and command-line picks run side by side).
// - Reads take the file as it is on disk whenever it changed; only regular files are read.
// - Every change is a read-modify-write of the whole file under an flock on "<name>.lock" beside
//   it, written atomically, so no process loses another's change and a crash never leaves half
//   a file.
// - A file that does not parse is read again after short waits (an editor may be rewriting it in
//   place) before it is called broken; a broken file is moved aside to a free name
//   "<name>.broken-<timestamp>[-N]" under the lock and reading goes on with no values. One that
//   cannot be moved aside is read again only once it changes.
// - A file that cannot be read, or cannot be replaced (a directory, a dangling symlink, a file or
//   folder without write permission), is never overwritten: the change fails and says why.
//   Changes kept unsaved are made again, in order, over whatever the file holds until one write
//   succeeds, so what other processes wrote meanwhile is neither hidden nor overwritten.
class JsonDefaultsStore : public DefaultsStore {
public:
    // The first wait before reading a file that did not parse again; each next wait doubles,
    // four reads in all.
    static constexpr std::chrono::milliseconds kRereadWait{25};
    // How long a change waits for another process's change to finish.
    static constexpr std::chrono::milliseconds kLockWait{5000};

    explicit JsonDefaultsStore(QString path, std::chrono::milliseconds rereadWait = kRereadWait);

    QJsonValue value(const QString& key) override;
    bool update(const QString& key, const Change& change, Unsaved unsaved = Unsaved::keep) override;
    bool holdsUnsaved() override;

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
    };

    Stamp stampNow() const;
    Read readOnce() const;
    // readOnce, and again after the waits while the file does not parse (no waits for a file
    // already found broken).
    Read readSettled();
    void refresh();
    void take(const Read& read);
    QJsonObject withUnsaved(QJsonObject object) const;
    static bool applyChange(QJsonObject& object, const QString& key, const Change& change);
    bool moveAside(const QString& reason);
    bool writeFile(const QJsonObject& object);

    QMutex m_mutex;
    QString m_path;
    std::chrono::milliseconds m_rereadWait;
    QJsonObject m_object; // the file's values with the unsaved ones over them
    Stamp m_stamp;
    bool m_loaded = false;
    Stamp m_brokenStamp; // of the last file that did not parse after the waits
    // Changes the file does not hold yet, in the order they were made.
    QList<std::pair<QString, Change>> m_unsaved;
};
