#include "app/front/HandOver.h"

#include "app/InstanceWire.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

namespace {

long nowMs()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return long(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

bool append(char* line, size_t& used, const char* text, size_t size)
{
    if (used + size >= InstanceWire::maxLine) return false;
    std::memcpy(line + used, text, size);
    used += size;
    line[used] = '\0';
    return true;
}

// A token the desktop gave, as the running program checks it; one that is not is left out.
void appendToken(char* line, size_t& used, const char* key, const char* variable)
{
    const char* value = std::getenv(variable);
    if (!value || !InstanceWire::isTokenText(value, std::strlen(value))) return;
    size_t at = used;
    if (!append(line, at, "\t", 1) || !append(line, at, key, std::strlen(key))
        || !append(line, at, value, std::strlen(value)))
        return;
    used = at;
}

// The socket in $XDG_RUNTIME_DIR/sorelwick, when folder and socket are this user's own and the
// folder is closed to others: what the running program makes. Anything else (no runtime folder,
// a folder to repair or refuse) is for the full program to deal with and explain.
bool socketAddress(sockaddr_un& address)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || runtime[0] != '/') return false;
    char folder[sizeof address.sun_path];
    const int n = std::snprintf(folder, sizeof folder, "%s/sorelwick", runtime);
    if (n < 0 || size_t(n) >= sizeof folder) return false;
    struct stat st {};
    if (::lstat(folder, &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 0777) != 0700)
        return false;
    address = sockaddr_un {};
    address.sun_family = AF_UNIX;
    const int m = std::snprintf(address.sun_path, sizeof address.sun_path, "%s/instance.socket", folder);
    if (m < 0 || size_t(m) >= sizeof address.sun_path) return false;
    return ::lstat(address.sun_path, &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == ::getuid();
}

bool waitFor(int fd, short events, long deadline)
{
    pollfd p {fd, events, 0};
    for (;;) {
        const long left = deadline - nowMs();
        if (left <= 0) return false;
        const int n = ::poll(&p, 1, int(left));
        if (n < 0 && errno == EINTR) continue;
        return n > 0 && (p.revents & (events | POLLHUP)) != 0;
    }
}

class Socket {
public:
    Socket() : m_fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~Socket()
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

namespace HandOver {

const char* requestOf(int argc, char** argv)
{
    if (argc != 2 || std::strncmp(argv[1], "--", 2) != 0) return nullptr;
    for (const char* name : InstanceWire::requestNames)
        if (std::strcmp(argv[1] + 2, name) == 0) return name;
    return nullptr;
}

Outcome send(const char* request)
{
    sockaddr_un address {};
    if (!socketAddress(address)) return Outcome::notRunning;
    Socket socket;
    if (socket.fd() < 0) return Outcome::notRunning;
    // Refused or gone: nobody listens (yet); the full program waits for a starting one.
    if (::connect(socket.fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return Outcome::notRunning;

    char line[InstanceWire::maxLine];
    size_t used = 0;
    line[0] = '\0';
    if (!append(line, used, request, std::strlen(request))) return Outcome::unanswered;
    appendToken(line, used, InstanceWire::tokenKey, "XDG_ACTIVATION_TOKEN");
    appendToken(line, used, InstanceWire::startupKey, "DESKTOP_STARTUP_ID");
    if (!append(line, used, "\n", 1)) return Outcome::unanswered;

    const long deadline = nowMs() + InstanceWire::sendTimeoutMs;
    for (size_t written = 0; written < used;) {
        if (!waitFor(socket.fd(), POLLOUT, deadline)) return Outcome::unanswered;
        const ssize_t n = ::send(socket.fd(), line + written, used - written, MSG_NOSIGNAL);
        if (n < 0 && errno != EINTR) return Outcome::unanswered;
        if (n > 0) written += size_t(n);
    }
    char answer[InstanceWire::maxLine];
    size_t got = 0;
    while (got < sizeof answer && !std::memchr(answer, '\n', got)) {
        if (!waitFor(socket.fd(), POLLIN, deadline)) return Outcome::unanswered;
        const ssize_t n = ::recv(socket.fd(), answer + got, sizeof answer - got, 0);
        if (n == 0) break;
        if (n < 0 && errno != EINTR) return Outcome::unanswered;
        if (n > 0) got += size_t(n);
    }
    return got >= 3 && std::memcmp(answer, "ok\n", 3) == 0 ? Outcome::handed : Outcome::unanswered;
}

} // namespace HandOver
