#pragma once

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QSet>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <deque>
#include <map>

// A scripted HTTP/1.1 server on loopback for the model client's tests. Answers are looked up by
// "METHOD /path": queued ones first, in order, then the route's standing answer, else 404.
class HttpPeer {
public:
    struct Response {
        int status = 200;
        QByteArray body;
        int delayMs = 0;
        bool hang = false; // never answer
        bool endless = false; // a chunked body that never ends
    };
    struct Request {
        QByteArray method;
        QByteArray path;
        QByteArray body;
        QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    };

    HttpPeer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                m_open.insert(socket);
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] { onReadyRead(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, [this, socket] { m_open.remove(socket); });
            }
        });
    }

    // The sockets go with the server, after the members their handlers use.
    ~HttpPeer()
    {
        for (QTcpSocket* socket : m_server.findChildren<QTcpSocket*>()) QObject::disconnect(socket, nullptr, nullptr, nullptr);
    }

    QString endpoint() const { return QStringLiteral("http://127.0.0.1:%1/v1").arg(m_server.serverPort()); }

    void always(const QByteArray& route, Response response) { m_standing[route] = std::move(response); }
    void next(const QByteArray& route, Response response) { m_queued[route].push_back(std::move(response)); }

    // The usual answers: one model listed, chat answered with the given message content.
    void listModels()
    {
        const QJsonArray data{QJsonObject{{"id", "test-model"}, {"object", "model"}}};
        always("GET /v1/models", Response{200, QJsonDocument(QJsonObject{{"object", "list"}, {"data", data}}).toJson()});
    }
    static Response chatAnswer(const QString& content, const QString& finishReason = {})
    {
        const QJsonObject message{{"role", "assistant"}, {"content", content}};
        QJsonObject choice{{"index", 0}, {"message", message}};
        if (!finishReason.isNull()) choice.insert("finish_reason", finishReason);
        const QJsonObject body{{"object", "chat.completion"}, {"choices", QJsonArray{choice}}};
        return Response{200, QJsonDocument(body).toJson(QJsonDocument::Compact)};
    }
    static Response chatJson(const QJsonObject& content)
    {
        return chatAnswer(QString::fromUtf8(QJsonDocument(content).toJson(QJsonDocument::Compact)));
    }

    // Connections the client has not closed yet.
    qsizetype openConnections() const { return m_open.size(); }

    const QList<Request>& requests() const { return m_requests; }
    QList<Request> requests(const QByteArray& method, const QByteArray& path) const
    {
        QList<Request> out;
        for (const Request& r : m_requests)
            if (r.method == method && r.path == path) out.append(r);
        return out;
    }

private:
    void onReadyRead(QTcpSocket* socket)
    {
        QByteArray& buffer = m_buffers[socket];
        buffer += socket->readAll();
        for (;;) {
            const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
            if (headerEnd < 0) return;
            const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
            qsizetype length = 0;
            for (const QByteArray& line : lines.mid(1)) {
                const qsizetype colon = line.indexOf(':');
                if (colon > 0 && line.left(colon).trimmed().toLower() == "content-length")
                    length = line.mid(colon + 1).trimmed().toLongLong();
            }
            if (buffer.size() < headerEnd + 4 + length) return;
            const QList<QByteArray> first = lines.first().trimmed().split(' ');
            Request request{first.value(0), first.value(1), buffer.mid(headerEnd + 4, length)};
            buffer.remove(0, headerEnd + 4 + length);
            m_requests.append(request);
            answer(socket, respond(request.method + ' ' + request.path));
        }
    }

    Response respond(const QByteArray& route)
    {
        auto queued = m_queued.find(route);
        if (queued != m_queued.end() && !queued->second.empty()) {
            Response r = queued->second.front();
            queued->second.pop_front();
            return r;
        }
        auto standing = m_standing.find(route);
        if (standing != m_standing.end()) return standing->second;
        return Response{404, R"({"error":{"message":"no such route"}})"};
    }

    static void answer(QTcpSocket* socket, const Response& response)
    {
        if (response.hang) return;
        if (response.endless) {
            socket->write("HTTP/1.1 200 Scripted\r\nContent-Type: application/json\r\nTransfer-Encoding: chunked\r\n\r\n");
            // Another piece whenever the last has gone out, as long as the client reads.
            const auto more = [socket] {
                static const QByteArray piece = QByteArray::number(64 * 1024, 16) + "\r\n" + QByteArray(64 * 1024, ' ') + "\r\n";
                if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < piece.size()) socket->write(piece);
            };
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, more);
            more();
            return;
        }
        const QByteArray reply = "HTTP/1.1 " + QByteArray::number(response.status) + " Scripted\r\n"
            + "Content-Type: application/json\r\nContent-Length: " + QByteArray::number(response.body.size())
            + "\r\nConnection: close\r\n\r\n" + response.body;
        QTimer::singleShot(response.delayMs, socket, [socket, reply] {
            socket->write(reply);
            socket->disconnectFromHost();
        });
    }

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    std::map<QByteArray, std::deque<Response>> m_queued;
    std::map<QByteArray, Response> m_standing;
    QList<Request> m_requests;
    QSet<QTcpSocket*> m_open;
};
