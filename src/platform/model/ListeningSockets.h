#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>

#include <optional>

// Who listens for TCP connections on this machine, from the kernel's socket tables
// (/proc/net/tcp and tcp6): loopback tells that a server is on this machine, not whose it is.
namespace ListeningSockets {

// The user ids of the sockets in `table` (the text of /proc/net/tcp or tcp6) that listen on
// `port` and take connections to `address`: bound to it, or to every address.
QList<uint> owners(const QByteArray& table, const QHostAddress& address, quint16 port);

// The same from this machine's tables now (asked over sock_diag, else read from /proc); absent
// when neither can be read.
std::optional<QList<uint>> ownersNow(const QHostAddress& address, quint16 port);

} // namespace ListeningSockets
