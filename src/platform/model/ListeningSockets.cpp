#include "platform/model/ListeningSockets.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kListen = 0x0A;

// The kernel prints each 32-bit word of an address as a number in the machine's own byte order:
// the word's bytes in memory are the address's bytes in network order.
std::optional<QHostAddress> addressOf(const QByteArray& hex)
{
    if (hex.size() != 8 && hex.size() != 32) return std::nullopt;
    quint8 bytes[16] = {};
    for (qsizetype word = 0; word < hex.size() / 8; ++word) {
        bool ok = false;
        const quint32 value = hex.mid(word * 8, 8).toUInt(&ok, 16);
        if (!ok) return std::nullopt;
        std::memcpy(bytes + word * 4, &value, 4);
    }
    if (hex.size() == 8) return QHostAddress(quint32(bytes[0]) << 24 | quint32(bytes[1]) << 16 | quint32(bytes[2]) << 8 | bytes[3]);
    return QHostAddress(bytes);
}

bool takes(const QHostAddress& bound, const QHostAddress& address)
{
    if (bound == QHostAddress(QHostAddress::AnyIPv4) || bound == QHostAddress(QHostAddress::AnyIPv6)) return true;
    bool mapped = false;
    const quint32 v4 = bound.toIPv4Address(&mapped);
    if (mapped && bound.protocol() == QAbstractSocket::IPv6Protocol) return QHostAddress(v4) == address;
    return bound.isEqual(address, QHostAddress::StrictConversion);
}

// The listening sockets' owners asked of the kernel over sock_diag, which walks only the table of
// listening sockets: reading /proc/net/tcp walks every connection's table too, milliseconds of
// system time on a busy machine, at each press. Absent when the kernel does not answer.
std::optional<QList<uint>> ownersByDiag(const QHostAddress& address, quint16 port)
{
    QList<uint> uids;
    for (const int family : {AF_INET, AF_INET6}) {
        struct Closer {
            int fd;
            ~Closer()
            {
                if (fd >= 0) ::close(fd);
            }
        } socket{::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG)};
        if (socket.fd < 0) return std::nullopt;
        struct {
            nlmsghdr header;
            inet_diag_req_v2 request;
        } message{};
        message.header.nlmsg_len = sizeof message;
        message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
        message.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
        message.request.sdiag_family = quint8(family);
        message.request.sdiag_protocol = IPPROTO_TCP;
        message.request.idiag_states = 1u << TCP_LISTEN;
        sockaddr_nl kernel{};
        kernel.nl_family = AF_NETLINK;
        if (::sendto(socket.fd, &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0)
            return std::nullopt;
        alignas(nlmsghdr) char buffer[16384];
        for (bool done = false; !done;) {
            const ssize_t n = ::recv(socket.fd, buffer, sizeof buffer, 0);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return std::nullopt;
            int left = int(n);
            for (auto* h = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(h, left); h = NLMSG_NEXT(h, left)) {
                if (h->nlmsg_type == NLMSG_DONE) {
                    done = true;
                    break;
                }
                if (h->nlmsg_type == NLMSG_ERROR || h->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) return std::nullopt;
                const auto* d = static_cast<const inet_diag_msg*>(NLMSG_DATA(h));
                if (d->idiag_state != kListen || ntohs(d->id.idiag_sport) != port) continue;
                quint8 bytes[16] = {};
                std::memcpy(bytes, d->id.idiag_src, sizeof bytes);
                const QHostAddress bound = family == AF_INET
                    ? QHostAddress(quint32(bytes[0]) << 24 | quint32(bytes[1]) << 16 | quint32(bytes[2]) << 8 | bytes[3])
                    : QHostAddress(bytes);
                if (takes(bound, address)) uids.append(d->idiag_uid);
            }
        }
    }
    return uids;
}

} // namespace

namespace ListeningSockets {

QList<uint> owners(const QByteArray& table, const QHostAddress& address, quint16 port)
{
    QList<uint> uids;
    const QList<QByteArray> lines = table.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) { // the first line names the columns
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() < 8) continue;
        bool ok = false;
        if (fields[3].toInt(&ok, 16) != kListen || !ok) continue;
        const qsizetype colon = fields[1].indexOf(':');
        if (colon < 0 || fields[1].mid(colon + 1).toUInt(&ok, 16) != port || !ok) continue;
        const auto bound = addressOf(fields[1].left(colon));
        if (!bound || !takes(*bound, address)) continue;
        const uint uid = fields[7].toUInt(&ok);
        if (ok) uids.append(uid);
    }
    return uids;
}

std::optional<QList<uint>> ownersNow(const QHostAddress& address, quint16 port)
{
    if (std::optional<QList<uint>> asked = ownersByDiag(address, port)) return asked;
    std::optional<QList<uint>> all;
    for (const char* path : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile file(QString::fromLatin1(path));
        if (!file.open(QIODevice::ReadOnly)) continue;
        // readAll: the kernel's tables report no size.
        const QList<uint> found = owners(file.readAll(), address, port);
        all = all.value_or(QList<uint>()) + found;
    }
    return all;
}

} // namespace ListeningSockets
