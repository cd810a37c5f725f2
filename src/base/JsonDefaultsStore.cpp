#include "base/JsonDefaultsStore.h"

#include "base/Defaults.h"

#include "base/Log.h"
#include "base/Notifier.h"
#include "base/SafeFile.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Defaults {
namespace {
std::mutex g_mutex;
std::shared_ptr<DefaultsStore> g_store;
} // namespace

DefaultsStore& shared()
{
    std::lock_guard lock(g_mutex);
    if (!g_store) g_store = std::make_shared<JsonDefaultsStore>(defaultPath());
    return *g_store;
}

void setShared(std::shared_ptr<DefaultsStore> store)
{
    std::lock_guard lock(g_mutex);
    g_store = std::move(store);
}

QString defaultPath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/sorelwick/defaults.json");
}
} // namespace Defaults

namespace {

// Settings files are small; anything larger is not ours to load into memory.
constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;

QByteArray native(const QString& path) { return QFile::encodeName(path); }

using SafeFile::systemError;

class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {
    }
    ~FileDescriptor()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }

private:
    int m_fd;
};

} // namespace

JsonDefaultsStore::JsonDefaultsStore(QString path, std::chrono::milliseconds settle)
    : m_path(std::move(path))
    , m_settle(settle)
{
}

std::variant<QJsonObject, QString> JsonDefaultsStore::parse(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        return QStringLiteral("%1 at byte %2").arg(error.errorString()).arg(error.offset);
    if (!doc.isObject()) return QStringLiteral("not a JSON object");
    return doc.object();
}

JsonDefaultsStore::Stamp JsonDefaultsStore::stampNow() const
{
    struct stat st;
    if (::stat(native(m_path).constData(), &st) != 0) return Stamp{};
    return Stamp{true, qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                 qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec, quint64(st.st_ino)};
}

JsonDefaultsStore::Read JsonDefaultsStore::readOnce() const
{
    Read read;
    // Non-blocking, so that a FIFO put in its place cannot hang us; checked after opening.
    FileDescriptor fd(::open(native(m_path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        if (errno == ENOENT) {
            struct stat link;
            if (::lstat(native(m_path).constData(), &link) != 0) return read; // missing
            read.state = State::unreadable;
            read.reason = QStringLiteral("the symbolic link points nowhere");
            return read;
        }
        read.state = State::unreadable;
        read.reason = systemError(errno);
        read.stamp = stampNow(); // so that it is tried again only once it changes
        return read;
    }
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) {
        read.state = State::unreadable;
        read.reason = systemError(errno);
        return read;
    }
    read.stamp = Stamp{true, qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                       qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec, quint64(st.st_ino)};
    if (!S_ISREG(st.st_mode)) {
        read.state = State::unreadable;
        read.reason = QStringLiteral("not a regular file");
        return read;
    }
    if (st.st_size > kMaxFileBytes) {
        read.state = State::unreadable;
        read.reason = QStringLiteral("larger than %1 bytes").arg(kMaxFileBytes);
        return read;
    }
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            read.state = State::unreadable;
            read.reason = systemError(errno);
            return read;
        }
        if (n == 0) break;
        bytes.append(buffer, n);
        if (bytes.size() > kMaxFileBytes) {
            read.state = State::unreadable;
            read.reason = QStringLiteral("larger than %1 bytes").arg(kMaxFileBytes);
            return read;
        }
    }
    auto parsed = parse(bytes);
    if (parsed.index() == 1) {
        read.state = State::broken;
        read.reason = std::get<1>(parsed);
        return read;
    }
    read.state = State::ok;
    read.object = std::get<0>(std::move(parsed));
    return read;
}

// A file that does not parse is taken as broken once it has stayed as it is for the settle time:
// seen unchanged that long, or last written that long ago (a file found at start-up).
bool JsonDefaultsStore::hasSettled(const Stamp& stamp)
{
    if (!m_changingSince.isValid() || stamp != m_changingStamp) {
        m_changingStamp = stamp;
        m_changingSince.start();
    }
    const qint64 ageNs = QDateTime::currentMSecsSinceEpoch() * 1000000 - stamp.mtimeNs;
    return m_changingSince.elapsed() >= m_settle.count() || ageNs >= qint64(m_settle.count()) * 1000000;
}

JsonDefaultsStore::Read JsonDefaultsStore::readSettled(std::chrono::milliseconds wait)
{
    const QDeadlineTimer deadline(wait);
    for (;;) {
        Read read = readOnce();
        if (read.state != State::broken) {
            m_changingSince.invalidate();
            m_changingLogged = false;
            return read;
        }
        if (read.stamp == m_brokenStamp) return read; // found broken before; no new wait
        if (hasSettled(read.stamp)) {
            m_brokenStamp = read.stamp;
            m_changingSince.invalidate();
            m_changingLogged = false;
            return read;
        }
        if (deadline.hasExpired()) {
            read.settled = false;
            if (!m_changingLogged)
                Log::write(QStringLiteral("설정 파일이 올바른 JSON이 아니지만 아직 바뀌는 중이라 지난 값으로 계속함: %1 (%2)")
                               .arg(m_path, read.reason));
            m_changingLogged = true;
            return read;
        }
        const qint64 left = m_settle.count() - m_changingSince.elapsed();
        QThread::msleep(std::clamp<qint64>(std::min<qint64>(left, deadline.remainingTime()), 1, 20));
    }
}

bool JsonDefaultsStore::moveAside(const QString& reason)
{
    // Keep the user's file for inspection under a name that is free; never over another file.
    const QString stem = m_path + QStringLiteral(".broken-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss-zzz"));
    QString aside = stem;
    for (int n = 2; n < 1000; ++n) {
        if (SafeFile::renameNoReplace(native(m_path), native(aside))) {
            Log::write(QStringLiteral("설정 파일이 올바른 JSON이 아니라 옆으로 옮기고 기본값으로 계속함: %1 → %2 (%3)")
                           .arg(m_path, aside, reason));
            return true;
        }
        if (errno != EEXIST) break;
        aside = stem + QStringLiteral("-%1").arg(n);
    }
    Log::write(QStringLiteral("설정 파일이 올바른 JSON이 아니고 옮길 수도 없어 기본값으로 계속함: %1 (%2; %3)")
                   .arg(m_path, reason, systemError(errno)));
    return false;
}

bool JsonDefaultsStore::writeFile(const QJsonObject& object)
{
    const auto refuse = [this](const QString& why) {
        Log::write(QStringLiteral("설정 파일을 쓸 수 없음: %1 (%2)").arg(m_path, why));
        return false;
    };
    // Through a symbolic link to its target, which stays where the user keeps it.
    QString target = m_path;
    struct stat st;
    if (::lstat(native(m_path).constData(), &st) == 0 && S_ISLNK(st.st_mode)) {
        target = QFileInfo(m_path).canonicalFilePath();
        if (target.isEmpty()) return refuse(QStringLiteral("the symbolic link points nowhere"));
    }
    if (::stat(native(target).constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return refuse(QStringLiteral("not a regular file"));
        // Also for root: a file or folder without any write permission was made read-only on purpose.
        if ((st.st_mode & 0222) == 0 || ::access(native(target).constData(), W_OK) != 0)
            return refuse(QStringLiteral("the file is read-only"));
    }
    const QString folder = QFileInfo(target).absolutePath();
    if (::stat(native(folder).constData(), &st) == 0
        && ((st.st_mode & 0222) == 0 || ::access(native(folder).constData(), W_OK | X_OK) != 0))
        return refuse(QStringLiteral("the folder is read-only"));

    const bool existed = ::stat(native(target).constData(), &st) == 0;
    const std::optional<QString> failed =
        SafeFile::replace(native(target), QJsonDocument(object).toJson(QJsonDocument::Indented), existed ? st.st_mode & 07777 : 0600);
    return failed ? refuse(*failed) : true;
}

QJsonValue JsonDefaultsStore::value(const QString& key)
{
    QMutexLocker lock(&m_mutex);
    refresh();
    return m_object.value(key);
}

// Reads the file again when it changed since it was last read; called with m_mutex held.
void JsonDefaultsStore::refresh()
{
    const Stamp now = stampNow();
    if (m_loaded && now == m_stamp) return;
    // A store that has values in force keeps them while the file settles; a first read waits.
    Read read = readSettled(m_loaded ? std::chrono::milliseconds(0) : 2 * m_settle);
    if (read.state == State::broken && read.settled) {
        // Decided under the lock, so no writer's fresh file is taken for the broken one.
        SafeFile::Lock fileLock(m_path + QStringLiteral(".lock"));
        if (fileLock.locked()) {
            const Read again = readOnce();
            if (again.stamp != read.stamp) {
                read = again;
                read.settled = again.state != State::broken; // written again meanwhile
            }
        }
        if (read.state == State::broken && read.settled) {
            if (!fileLock.locked())
                Log::write(QStringLiteral("설정 파일이 올바른 JSON이 아니고 옮길 수도 없어 기본값으로 계속함: %1 (%2; %3)")
                               .arg(m_path, read.reason, fileLock.error()));
            else if (moveAside(read.reason))
                read = Read{};
        }
    }
    if (read.state == State::broken && !read.settled) {
        if (!m_loaded) m_object = withUnsaved(QJsonObject()); // nothing in force yet
        return;
    }
    if (read.state == State::unreadable)
        Log::write(QStringLiteral("설정 파일을 읽을 수 없어 기본값으로 계속함: %1 (%2)").arg(m_path, read.reason));
    take(read);
}

// What a read found becomes what this process sees, with its unsaved changes over it. A file that
// stays as it is (broken, unreadable) is not read again, nor logged again, until it changes.
void JsonDefaultsStore::take(const Read& read)
{
    m_object = withUnsaved(read.state == State::ok ? read.object : QJsonObject());
    m_stamp = read.stamp;
    m_loaded = true;
    m_readFailure = read.state == State::unreadable || read.state == State::broken ? read.reason : QString();
}

// Made again from the values read, not laid over them as they were: a pick counts on top of the
// picks other processes saved since, and a clear made elsewhere stays cleared of all but ours.
QJsonObject JsonDefaultsStore::withUnsaved(QJsonObject object) const
{
    for (const auto& [key, change] : m_unsaved) applyChange(object, key, change);
    return object;
}

// False when nothing changes (removing a key that is not there).
bool JsonDefaultsStore::applyChange(QJsonObject& object, const QString& key, const Change& change)
{
    const QJsonValue value = change(object.value(key));
    if (!value.isUndefined()) {
        object.insert(key, value);
        return true;
    }
    if (!object.contains(key)) return false;
    object.remove(key);
    return true;
}

bool JsonDefaultsStore::update(const QString& key, const Change& change, Unsaved unsaved)
{
    QMutexLocker lock(&m_mutex);
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QFileInfo::exists(folder) && QDir().mkpath(folder)) ::chmod(native(folder).constData(), 0700);
    {
        SafeFile::Lock fileLock(m_path + QStringLiteral(".lock"));
        if (fileLock.locked()) {
            Read read = readSettled(2 * m_settle);
            const bool changing = read.state == State::broken && !read.settled;
            if (changing)
                Log::write(QStringLiteral("설정 파일이 아직 쓰이는 중이라 바꾸지 않음: %1 (%2)").arg(m_path, read.reason));
            else if (read.state == State::broken && moveAside(read.reason))
                read = Read{};
            if (read.state == State::unreadable)
                Log::write(QStringLiteral("설정 파일을 읽을 수 없어 바꾸지 않음: %1 (%2)").arg(m_path, read.reason));
            if (read.state == State::ok || read.state == State::missing) {
                // The earlier unsaved changes are written with this one.
                QJsonObject next = withUnsaved(read.object);
                if (!applyChange(next, key, change) && m_unsaved.isEmpty()) {
                    take(read);
                    return true;
                }
                if (writeFile(next)) {
                    m_unsaved.clear();
                    m_object = next;
                    m_stamp = stampNow();
                    m_loaded = true;
                    m_readFailure.clear();
                    return true;
                }
            }
            if (!changing) take(read);
        } else {
            Log::write(QStringLiteral("설정 파일을 쓸 수 없음: %1 (%2)").arg(m_path, fileLock.error()));
        }
    }
    // Not saved. Read outside the file lock, which reading a broken file takes itself.
    refresh();
    if (unsaved == Unsaved::keep) {
        applyChange(m_object, key, change);
        m_unsaved.append({key, change});
        lock.unlock(); // an observer may read the settings
        Notifier::shared().post(Notifications::settingsDidFailToSave);
    }
    return false;
}

std::optional<QString> JsonDefaultsStore::readFailure()
{
    QMutexLocker lock(&m_mutex);
    refresh();
    if (m_readFailure.isEmpty()) return std::nullopt;
    return QStringLiteral("%1 (%2)").arg(m_path, m_readFailure);
}

bool JsonDefaultsStore::holdsUnsaved()
{
    QMutexLocker lock(&m_mutex);
    return !m_unsaved.isEmpty();
}
