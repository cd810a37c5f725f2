#include "platform/model/ListeningSockets.h"

#include <QFile>

#include <cstring>

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
