#include "app/SingleInstance.h"

#include "base/Log.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

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

// A name and two tokens; a desktop's tokens are far shorter than kMaxToken.
constexpr qsizetype kMaxToken = 200;
constexpr qsizetype kMaxLine = 512;
constexpr int kReadTimeoutMs = 2000;

struct Entry {
    SingleInstance::Request request;
    const char* name;
};
constexpr std::array<Entry, 5> kEntries{{
    {SingleInstance::Request::trigger, "trigger"},
    {SingleInstance::Request::settings, "settings"},
    {SingleInstance::Request::onboarding, "onboarding"},
    {SingleInstance::Request::about, "about"},
    {SingleInstance::Request::quit, "quit"},
}};

std::optional<SingleInstance::Request> fromName(QByteArrayView name)
{
    for (const Entry& e : kEntries)
        if (name == QByteArrayView(e.name)) return e.request;
    return std::nullopt;
}

constexpr char kTokenKey[] = "XDG_ACTIVATION_TOKEN=";
constexpr char kStartupKey[] = "DESKTOP_STARTUP_ID=";

// Tokens travel as printable ASCII without spaces: what the desktops make, and nothing that
// could split the line or reach a log as something else.
bool isTokenText(QByteArrayView value)
{
    if (value.isEmpty() || value.size() > kMaxToken) return false;
    for (const char c : value)
        if (c < 0x21 || c > 0x7e) return false;
    return true;
}

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

// The folder must be a real directory of this user that nobody else can enter. One we own with
// looser permissions is tightened; anything else is refused.
bool makeSafeFolder(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        Log::write(QStringLiteral("단일 실행: 폴더를 만들 수 없음: %1 (%2)").arg(folder, errnoText()));
        return false;
    }
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        Log::write(QStringLiteral("단일 실행: 폴더가 아님: %1").arg(folder));
        return false;
    }
    if (st.st_uid != ::getuid()) {
        Log::write(QStringLiteral("단일 실행: 다른 사용자의 폴더라서 쓰지 않음: %1").arg(folder));
        return false;
    }
    if ((st.st_mode & 077) != 0 && ::chmod(path.constData(), 0700) != 0) {
        Log::write(QStringLiteral("단일 실행: 폴더 권한을 좁힐 수 없음: %1 (%2)").arg(folder, errnoText()));
        return false;
    }
    return true;
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
    if (m_server) {
        m_server->close();
        QFile::remove(socketPath());
    }
    if (m_lockFd >= 0) ::close(m_lockFd);
}

QString SingleInstance::socketPath() const { return m_folder + QStringLiteral("/instance.socket"); }

SingleInstance::Role SingleInstance::claim()
{
    if (m_lockFd >= 0) return Role::primary;
    if (!makeSafeFolder(m_folder)) return Role::unavailable;
    const QByteArray lockPath = QFile::encodeName(m_folder + QStringLiteral("/instance.lock"));
    const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        Log::write(QStringLiteral("단일 실행: 잠금 파일을 열 수 없음: %1 (%2)")
                       .arg(QFile::decodeName(lockPath), errnoText()));
        return Role::unavailable;
    }
    // The lock lives as long as the process: a crashed primary leaves no stale lock behind.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        if (held) return Role::secondary;
        Log::write(QStringLiteral("단일 실행: 잠글 수 없음 (%1)").arg(errnoText()));
        return Role::unavailable;
    }
    m_lockFd = fd;
    return Role::primary;
}

bool SingleInstance::listen()
{
    if (m_server) return true;
    if (m_lockFd < 0) return false;
    // A socket file left by a process that died is stale: the lock says nobody listens on it.
    QLocalServer::removeServer(socketPath());
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(socketPath())) {
        Log::write(QStringLiteral("단일 실행: 소켓을 열 수 없음: %1 (%2)").arg(socketPath(), server->errorString()));
        delete server;
        return false;
    }
    ::chmod(QFile::encodeName(socketPath()).constData(), 0600);
    m_server = server;
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
    return true;
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
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!peerIsThisUser(socket)) {
            Log::write(QStringLiteral("단일 실행: 다른 사용자의 연결을 거절함"));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // A client that never finishes its line is dropped; the timer exists only while it waits.
        QTimer::singleShot(kReadTimeoutMs, socket, [socket] {
            if (socket->property("answered").toBool()) return;
            Log::write(QStringLiteral("단일 실행: 요청이 오지 않아 연결을 닫음"));
            socket->abort();
        });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        if (socket->bytesAvailable() > 0) read(socket);
    }
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
