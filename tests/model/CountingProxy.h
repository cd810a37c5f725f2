#pragma once

#include <QHash>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

// Passes a client's connections through to a server on 127.0.0.1 and counts the HTTP requests
// that go through, by request line ("GET /v1/models"). llama-server does not log its requests.
class CountingProxy {
public:
    explicit CountingProxy(quint16 serverPort)
    {
        m_listener.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_listener, &QTcpServer::newConnection, [this, serverPort] {
            while (QTcpSocket* client = m_listener.nextPendingConnection()) pipe(client, serverPort);
        });
    }

    QString endpoint() const { return QStringLiteral("http://127.0.0.1:%1/v1").arg(m_listener.serverPort()); }
    int requests(const QByteArray& requestLine) const { return m_counts.value(requestLine); }

private:
    void pipe(QTcpSocket* client, quint16 serverPort)
    {
        auto* server = new QTcpSocket(client);
        server->connectToHost(QHostAddress::LocalHost, serverPort);
        auto pending = std::make_shared<QByteArray>();
        QObject::connect(client, &QTcpSocket::readyRead, client, [this, client, server, pending] {
            const QByteArray data = client->readAll();
            count(data);
            if (server->state() == QAbstractSocket::ConnectedState) server->write(data);
            else pending->append(data);
        });
        QObject::connect(server, &QTcpSocket::connected, server, [server, pending] {
            server->write(*pending);
            pending->clear();
        });
        QObject::connect(server, &QTcpSocket::readyRead, client, [client, server] { client->write(server->readAll()); });
        QObject::connect(server, &QTcpSocket::disconnected, client, [client] { client->disconnectFromHost(); });
        QObject::connect(client, &QTcpSocket::disconnected, client, [client] { client->deleteLater(); });
    }

    // A request line starts the stream or follows a blank line; bodies here are JSON, never one.
    void count(const QByteArray& data)
    {
        for (const QByteArray& line : data.split('\n')) {
            const QList<QByteArray> words = line.trimmed().split(' ');
            if (words.size() == 3 && words[2].startsWith("HTTP/1.") && (words[0] == "GET" || words[0] == "POST"))
                ++m_counts[words[0] + ' ' + words[1]];
        }
    }

    QTcpServer m_listener;
    QHash<QByteArray, int> m_counts;
};
