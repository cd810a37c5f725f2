#include "base/SafeFile.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SafeFile {

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

Lock::Lock(const QString& path, std::chrono::milliseconds wait)
    : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600))
{
    if (m_fd < 0) {
        m_error = QStringLiteral("잠금 파일을 열 수 없음: %1 (%2)").arg(path, systemError(errno));
        return;
    }
    const QDeadlineTimer deadline(wait);
    while (::flock(m_fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            m_error = QStringLiteral("잠글 수 없음: %1 (%2)").arg(path, systemError(errno));
            return;
        }
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("다른 프로세스가 %1 ms 넘게 잠그고 있음: %2").arg(wait.count()).arg(path);
            return;
        }
        QThread::msleep(2);
    }
    m_locked = true;
}

Lock::~Lock()
{
    if (m_fd < 0) return;
    if (m_locked) ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
}

bool renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without the flag: a hard link fails on a taken name too.
    if (::link(from.constData(), to.constData()) != 0) return false;
    ::unlink(from.constData());
    return true;
}

std::optional<QString> replace(const QByteArray& target, const QByteArray& bytes, mode_t mode)
{
    QByteArray temporary = target + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) return systemError(errno);
    const auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temporary.constData());
        return std::optional<QString>(systemError(error));
    };
    if (::fchmod(fd, mode) != 0) return fail(errno);
    for (qsizetype written = 0; written < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return fail(errno);
        written += n;
    }
    if (::fsync(fd) != 0) return fail(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return systemError(error);
    }
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return systemError(error);
    }
    return std::nullopt;
}

} // namespace SafeFile
