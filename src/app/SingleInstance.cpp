#include "app/SingleInstance.h"

#include "app/InstanceWire.h"
#include "base/Log.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QLocalSocket>
#include <QSocketNotifier>

#include <array>
#include <cerrno>
#include <cstring>
#include <utility>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr qsizetype kMaxLine = qsizetype(InstanceWire::maxLine);
constexpr int kReadTimeoutMs = 2000;

struct Entry {
    SingleInstance::Request request;
    const char* name;
};
constexpr std::array<Entry, 5> kEntries{{
    {SingleInstance::Request::trigger, InstanceWire::requestNames[0]},
    {SingleInstance::Request::settings, InstanceWire::requestNames[1]},
    {SingleInstance::Request::onboarding, InstanceWire::requestNames[2]},
    {SingleInstance::Request::about, InstanceWire::requestNames[3]},
    {SingleInstance::Request::quit, InstanceWire::requestNames[4]},
}};

std::optional<SingleInstance::Request> fromName(QByteArrayView name)
{
    for (const Entry& e : kEntries)
        if (name == QByteArrayView(e.name)) return e.request;
    return std::nullopt;
}

constexpr const char* kTokenKey = InstanceWire::tokenKey;
constexpr const char* kStartupKey = InstanceWire::startupKey;

bool isTokenText(QByteArrayView value) { return InstanceWire::isTokenText(value.data(), size_t(value.size())); }

struct Message {
    SingleInstance::Request request;
    Activation activation;
};

// "name", then at most one of each token field; anything else is no request.
std::optional<Message> parse(const QByteArray& line)
{
    const QList<QByteArray> fields = line.split('\t');
    const std::optional<SingleInstance::Request> request = fromName(fields.first());
    if (!request) return std::nullopt;
    Message message{*request, {}};
    for (qsizetype i = 1; i < fields.size(); ++i) {
        const QByteArray& field = fields[i];
        QByteArray* slot = field.startsWith(kTokenKey)   ? &message.activation.xdgActivationToken
                         : field.startsWith(kStartupKey) ? &message.activation.desktopStartupId
                                                         : nullptr;
        if (!slot || !slot->isEmpty()) return std::nullopt;
        const QByteArray value = field.mid(field.indexOf('=') + 1);
        if (!isTokenText(value)) return std::nullopt;
        *slot = value;
    }
    return message;
}

QString errnoText() { return QString::fromLocal8Bit(std::strerror(errno)); }

// The folder must be a real directory of this user that nobody else can enter, and that the user
// can write (0700). One we own with other permissions is set so; anything else is refused, with
// the reason in `problem`.
bool makeSafeFolder(const QString& folder, QString& problem)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        problem = QStringLiteral("cannot create the folder %1 (%2)").arg(folder, errnoText());
        Log::write(QStringLiteral("단일 실행: 폴더를 만들 수 없음: %1 (%2)").arg(folder, errnoText()));
        return false;
    }
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        problem = QStringLiteral("%1 is not a folder (a symbolic link or a file stands there)").arg(folder);
        Log::write(QStringLiteral("단일 실행: 폴더가 아님: %1").arg(folder));
        return false;
    }
    if (st.st_uid != ::getuid()) {
        problem = QStringLiteral("the folder %1 belongs to another user (uid %2)").arg(folder).arg(st.st_uid);
        Log::write(QStringLiteral("단일 실행: 다른 사용자의 폴더라서 쓰지 않음: %1").arg(folder));
        return false;
    }
    if ((st.st_mode & 0777) != 0700 && ::chmod(path.constData(), 0700) != 0) {
        problem = QStringLiteral("cannot set the folder %1 to 0700 (%2)").arg(folder, errnoText());
        Log::write(QStringLiteral("단일 실행: 폴더 권한을 0700으로 할 수 없음: %1 (%2)").arg(folder, errnoText()));
        return false;
    }
    return true;
}

// The lock file in the folder, held; -1 with errno EWOULDBLOCK when another process holds it.
int takeLock(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/instance.lock"));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

// Waits for the event on fd (or just the time, with fd -1); false on time-out or error.
bool pollFor(int fd, short events, qint64 timeoutMs)
{
    if (timeoutMs < 0) timeoutMs = 0;
    pollfd p {fd, events, 0};
    for (;;) {
        const int n = ::poll(fd < 0 ? nullptr : &p, fd < 0 ? 0 : 1, int(timeoutMs));
        if (n < 0 && errno == EINTR) continue;
        return n > 0 && (p.revents & (events | POLLHUP)) != 0;
    }
}

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other) {
            reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    ~UniqueFd() { reset(); }
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }
    explicit operator bool() const { return m_fd >= 0; }

private:
    void reset()
    {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
    }
    int m_fd = -1;
};

bool peerIsThisUser(QLocalSocket* socket)
{
    struct ucred cred {};
    socklen_t len = sizeof cred;
    if (::getsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0) return false;
    return cred.uid == ::getuid();
}

} // namespace

std::optional<SingleInstance::Request> SingleInstance::fromOption(const QString& option)
{
    if (!option.startsWith(QLatin1String("--"))) return std::nullopt;
    return fromName(option.mid(2).toLatin1());
}

QString SingleInstance::name(Request request)
{
    for (const Entry& e : kEntries)
        if (e.request == request) return QString::fromLatin1(e.name);
    return {};
}

QString SingleInstance::defaultFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime)) return runtime + QStringLiteral("/sorelwick");
    return QDir::tempPath() + QStringLiteral("/sorelwick-") + QString::number(::getuid());
}

SingleInstance::SingleInstance(QString folder, QObject* parent) : QObject(parent), m_folder(std::move(folder)) {}

SingleInstance::~SingleInstance()
{
    closeSocket();
    if (m_spareFd >= 0) ::close(m_spareFd);
    if (m_lockFd >= 0) ::close(m_lockFd);
}

QString SingleInstance::socketPath() const { return m_folder + QStringLiteral("/instance.socket"); }

SingleInstance::Role SingleInstance::claim()
{
    if (m_lockFd >= 0) return Role::primary;
    if (!makeSafeFolder(m_folder, m_problem)) return Role::unavailable;
    // The lock lives as long as the process: a crashed primary leaves no stale lock behind.
    m_lockFd = takeLock(m_folder);
    if (m_lockFd >= 0) return Role::primary;
    if (errno == EWOULDBLOCK) return Role::secondary;
    m_problem = QStringLiteral("cannot take the lock in %1 (%2)").arg(m_folder, errnoText());
    Log::write(QStringLiteral("단일 실행: 잠글 수 없음: %1 (%2)").arg(m_folder, errnoText()));
    return Role::unavailable;
}

bool SingleInstance::listen()
{
    if (m_listening) return true;
    if (m_lockFd < 0 || !bindSocket()) return false;
    m_listening = true;
    m_spareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    // A cleaner of the runtime folder (or the user) may take the socket away: it is made again.
    m_watcher = new QFileSystemWatcher(this);
    m_watcher->addPath(m_folder);
    m_recheck.setSingleShot(true);
    m_recheck.setInterval(100); // a removal comes as several events: act once they are over
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, &m_recheck, qOverload<>(&QTimer::start));
    connect(&m_recheck, &QTimer::timeout, this, &SingleInstance::checkSocket);
    return true;
}

bool SingleInstance::bindSocket()
{
    const QByteArray path = QFile::encodeName(socketPath());
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof addr.sun_path) {
        Log::write(QStringLiteral("단일 실행: 소켓 경로가 너무 김: %1").arg(socketPath()));
        return false;
    }
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
    // A socket file left by a process that died is stale: the lock says nobody listens on it.
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0 && !S_ISDIR(st.st_mode)) ::unlink(path.constData());
    UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const auto fail = [&] {
        Log::write(QStringLiteral("단일 실행: 소켓을 열 수 없음: %1 (%2)").arg(socketPath(), errnoText()));
        return false;
    };
    if (!fd || ::bind(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return fail();
    if (::chmod(path.constData(), 0600) != 0 || ::listen(fd.get(), 64) != 0 || ::lstat(path.constData(), &st) != 0)
        return fail();
    m_socketInode = st.st_ino;
    m_listenFd = fd.release();
    m_notifier = new QSocketNotifier(m_listenFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SingleInstance::accept);
    return true;
}

void SingleInstance::closeSocket()
{
    if (m_listenFd < 0) return;
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_listenFd);
    m_listenFd = -1;
    // Only our own: a socket someone else made there since stays.
    const QByteArray path = QFile::encodeName(socketPath());
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_ino == m_socketInode) ::unlink(path.constData());
}

void SingleInstance::checkSocket()
{
    if (!m_listening) return;
    m_recheck.setInterval(100);
    // Until the folder can be made again (its parent may be gone for a while).
    const auto retryLater = [this] { m_recheck.start(1000); };
    struct stat st {};
    const bool ours = ::lstat(QFile::encodeName(socketPath()).constData(), &st) == 0 && S_ISSOCK(st.st_mode)
        && st.st_ino == m_socketInode;
    if (!ours) {
        Log::write(QStringLiteral("단일 실행: 소켓이 사라져 다시 만듦: %1").arg(socketPath()));
        QString problem;
        if (!makeSafeFolder(m_folder, problem)) return retryLater();
        // The lock went with the folder: a later start would take a new one and run beside us.
        struct stat held {}, there {};
        const bool lockIsOurs = ::fstat(m_lockFd, &held) == 0
            && ::lstat(QFile::encodeName(m_folder + QStringLiteral("/instance.lock")).constData(), &there) == 0
            && held.st_ino == there.st_ino && held.st_dev == there.st_dev;
        if (!lockIsOurs) {
            const int fd = takeLock(m_folder);
            if (fd < 0) {
                Log::write(QStringLiteral("단일 실행: 그 사이 다른 실행이 잠금을 가져가서 요청을 받지 않음 (%1)").arg(errnoText()));
                m_listening = false;
                closeSocket();
                return;
            }
            ::close(m_lockFd);
            m_lockFd = fd;
        }
        closeSocket();
        if (!bindSocket()) return retryLater();
    }
    if (!m_watcher->directories().contains(m_folder)) m_watcher->addPath(m_folder);
}

bool SingleInstance::send(Request request, const Activation& activation, int timeoutMs) const
{
    QByteArray line = name(request).toLatin1();
    // A token we could not pass on intact is left out: the request still counts.
    if (isTokenText(activation.xdgActivationToken)) line += '\t' + QByteArray(kTokenKey) + activation.xdgActivationToken;
    if (isTokenText(activation.desktopStartupId)) line += '\t' + QByteArray(kStartupKey) + activation.desktopStartupId;
    return sendLine(line + '\n', timeoutMs) == "ok";
}

QByteArray SingleInstance::sendLine(const QByteArray& line, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    const QByteArray path = QFile::encodeName(socketPath());
    sockaddr_un addr {};
    addr.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof addr.sun_path) return {};
    std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));

    // Only to a socket of this user: the request would go to whoever made it.
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0 && (!S_ISSOCK(st.st_mode) || st.st_uid != ::getuid())) {
        Log::write(QStringLiteral("단일 실행: 이 사용자의 소켓이 아니라서 보내지 않음: %1").arg(socketPath()));
        return {};
    }
    UniqueFd fd;
    // The primary may hold the lock and not listen yet: it is starting. Try until the deadline.
    for (;;) {
        fd = UniqueFd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
        if (!fd) return {};
        if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) break;
        if (deadline.hasExpired()) return {};
        pollFor(-1, 0, 20);
    }
    for (qsizetype written = 0; written < line.size();) {
        if (!pollFor(fd.get(), POLLOUT, deadline.remainingTime())) return {};
        const ssize_t n = ::send(fd.get(), line.constData() + written, size_t(line.size() - written), MSG_NOSIGNAL);
        if (n < 0 && errno != EINTR) return {};
        if (n > 0) written += n;
    }
    QByteArray answer;
    while (!answer.contains('\n') && answer.size() <= kMaxLine) {
        if (!pollFor(fd.get(), POLLIN, deadline.remainingTime())) return {};
        char buffer[kMaxLine];
        const ssize_t n = ::recv(fd.get(), buffer, sizeof buffer, 0);
        if (n == 0) break;
        if (n < 0 && errno != EINTR) return {};
        if (n > 0) answer.append(buffer, n);
    }
    const qsizetype newline = answer.indexOf('\n');
    return newline < 0 ? QByteArray() : answer.left(newline);
}

void SingleInstance::accept()
{
    for (;;) {
        const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd >= 0) {
            adopt(fd);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return;
        if (errno != EMFILE && errno != ENFILE && errno != ENOBUFS && errno != ENOMEM) {
            Log::write(QStringLiteral("단일 실행: 연결을 받지 못함 (%1)").arg(errnoText()));
            return;
        }
        // Out of descriptors: callers are closed, never the listener.
        if (dropOldestClient()) continue;
        if (m_spareFd < 0) return;
        ::close(m_spareFd);
        const int turnedAway = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (turnedAway >= 0) ::close(turnedAway);
        m_spareFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        Log::write(QStringLiteral("단일 실행: 파일 디스크립터가 모자라 연결 하나를 돌려보냄"));
        if (turnedAway < 0) return;
    }
}

bool SingleInstance::dropOldestClient()
{
    if (m_clients.isEmpty()) return false;
    if (!m_crowdedLogged)
        Log::write(QStringLiteral("단일 실행: 열린 연결이 너무 많아 오래된 것부터 닫음"));
    m_crowdedLogged = true;
    QLocalSocket* oldest = m_clients.takeFirst();
    oldest->abort();
    oldest->deleteLater();
    return true;
}

void SingleInstance::adopt(int fd)
{
    auto* socket = new QLocalSocket(this);
    if (!socket->setSocketDescriptor(fd, QLocalSocket::ConnectedState, QIODevice::ReadWrite)) {
        ::close(fd);
        delete socket;
        return;
    }
    if (!peerIsThisUser(socket)) {
        Log::write(QStringLiteral("단일 실행: 다른 사용자의 연결을 거절함"));
        socket->abort();
        socket->deleteLater();
        return;
    }
    m_clients.append(socket);
    if (m_clients.size() > kMaxClients) dropOldestClient();
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QObject::destroyed, this, [this, socket] {
        m_clients.removeOne(socket);
        if (m_clients.isEmpty()) m_crowdedLogged = false;
    });
    // A client that never finishes its line is dropped; the timer exists only while it waits.
    QTimer::singleShot(kReadTimeoutMs, socket, [socket] {
        if (socket->property("answered").toBool()) return;
        Log::write(QStringLiteral("단일 실행: 요청이 오지 않아 연결을 닫음"));
        socket->abort();
    });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
    if (socket->bytesAvailable() > 0) read(socket);
}

void SingleInstance::read(QLocalSocket* socket)
{
    if (socket->property("answered").toBool()) return;
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->read(kMaxLine + 1);
    const qsizetype newline = buffer.indexOf('\n');
    if (newline < 0 && buffer.size() <= kMaxLine) {
        socket->setProperty("buffer", buffer);
        return;
    }
    socket->setProperty("answered", true);
    const QByteArray line = newline < 0 ? buffer : buffer.left(newline);
    const std::optional<Message> message = newline < 0 ? std::nullopt : parse(line);
    if (!message) {
        QString shown = QString::fromUtf8(line.left(64));
        for (QChar& c : shown)
            if (!c.isPrint()) c = QLatin1Char('?');
        Log::write(QStringLiteral("단일 실행: 알 수 없는 요청을 거절함: \"%1\"").arg(shown));
        socket->write("refused\n");
        socket->disconnectFromServer();
        return;
    }
    socket->write("ok\n");
    socket->flush();
    socket->disconnectFromServer();
    Log::write(QStringLiteral("단일 실행: 요청 받음: %1%2")
                   .arg(name(message->request),
                        message->activation.isEmpty() ? QString() : QStringLiteral(" (활성화 토큰 함께)")));
    // After the answer is on its way: a quit must not cut it off.
    QMetaObject::invokeMethod(
        this, [this, m = *message] { emit requested(m.request, m.activation); }, Qt::QueuedConnection);
}
