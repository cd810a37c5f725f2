#pragma once

#include "platform/LanguageModel.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QHostAddress>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

class RequestEnd;

// A local model server speaking the OpenAI-compatible chat completions API (llama.cpp's
// llama-server, Ollama and others). Settings, read at each use:
//   "modelEndpoint"    base URL ending before /models and /chat/completions; when absent,
//                      http://127.0.0.1:11434/v1 (Ollama), then http://127.0.0.1:8080/v1 (llama-server);
//   "modelName"        when absent or empty, the first model the server lists;
//   "modelAllowRemote" false unless true: a server that is not on this machine is not used. The
//                      host is resolved once; every address must be loopback, and the requests
//                      go to that address, so a name cannot resolve differently when connecting.
// A default endpoint is used only when the socket listening there belongs to this user: any
// user on the machine may run a server on those ports. A configured one is used as configured.
// A request right after a successful availability check goes to the server that check found.
// Lives on the thread whose event loop runs it (the main thread); nothing here blocks.
class OpenAiCompatibleModel : public LanguageModel {
public:
    struct Timeouts {
        // For the whole availability check, all endpoints together.
        std::chrono::milliseconds availability{300};
        // Until the request has been sent on an open connection.
        std::chrono::milliseconds connect{1000};
        // For one chat request from start to the last byte of the answer.
        std::chrono::milliseconds request{30000};
    };
    // Answers beyond this are cut off as an error rather than filling memory.
    static constexpr qint64 kMaxAnswerBytes = 4 * 1024 * 1024;
    // How much of an answer may wait unread in its socket.
    static constexpr qint64 kReadAheadBytes = 256 * 1024;

    OpenAiCompatibleModel();
    explicit OpenAiCompatibleModel(Timeouts timeouts);
    ~OpenAiCompatibleModel() override;

    QCoro::Task<bool> isAvailable() override;
    QCoro::Task<Answer<QJsonObject>> respondStructured(QString instructions, QString prompt,
                                                       QJsonObject schema) override;
    QCoro::Task<Answer<QString>> respondText(QString instructions, QString prompt) override;
    void giveUpRequests() override;

    // Turns a host name into its addresses (empty when it does not resolve in time). The system
    // resolver unless replaced.
    using Resolver = std::function<QCoro::Task<QList<QHostAddress>>(QString host, std::chrono::milliseconds timeout)>;
    void setResolver(Resolver resolver) { m_resolver = std::move(resolver); }
    static QCoro::Task<QList<QHostAddress>> systemResolve(QString host, std::chrono::milliseconds timeout);

    // The user ids of the sockets listening on an address and port (absent when that cannot be
    // told). The kernel's socket tables unless replaced.
    using ListenerOwners = std::function<std::optional<QList<uint>>(QHostAddress address, quint16 port)>;
    void setListenerOwners(ListenerOwners owners) { m_listenerOwners = std::move(owners); }

    // An address literal in 127.0.0.0/8 or ::1 (also IPv4-mapped); names are not addresses.
    static bool isLoopbackAddress(const QString& host);
    static QStringList defaultEndpoints();
    // The message content of a chat completion answer's body, or what is wrong with it (also an
    // answer the server stopped before its end).
    static Answer<QString> chatContent(const QByteArray& body);
    // The JSON object in a structured answer's content (a Markdown fence is taken off), with every
    // property the schema requires, or what is wrong with it.
    static Answer<QJsonObject> structuredContent(const QString& content, const QJsonObject& schema);
    // JSON text in which an object's "properties" follow the order of its "required" list, so that
    // a schema keeps its property order (a QJsonObject sorts its keys).
    static QByteArray orderedJson(const QJsonValue& value);

private:
    struct Server {
        QUrl base; // with the address connected to
        QString host; // as configured, for the Host header
        QString model;
    };
    struct HttpResult {
        int status = 0;
        QByteArray body;
        QString failure; // transport failure or time-out; empty when an HTTP answer came back
        bool refused = false;
    };

    // The endpoints to try, allowed ones only; refusals of remote ones are logged. `configured`
    // tells whether they come from the user's settings.
    QList<QUrl> endpoints(bool* configured = nullptr) const;
    // Whether a default endpoint's server, at the address pinned, runs as this user (none: nothing
    // listens there); logs a refusal once per endpoint.
    enum class Listener { ours, none, other };
    Listener ownServer(const QUrl& pinned);
    QCoro::Task<std::variant<Server, QString>> findServer(bool logFailures);
    // The base with its host replaced by the one address to connect to, or why there is none.
    QCoro::Task<std::variant<QUrl, QString>> pinAddress(QUrl base, std::chrono::milliseconds timeout);
    QCoro::Task<HttpResult> send(QUrl url, QString host, QByteArray body, std::chrono::milliseconds connectTimeout,
                                 std::chrono::milliseconds wholeTimeout);
    QCoro::Task<Answer<QString>> chat(QString instructions, QString prompt, const QJsonObject* schema);
    // The settings that decide the server, to tell whether a server found earlier still applies.
    static QJsonArray settingsNow();

    // The server the last availability check found, handed to the request that follows it (once,
    // and only shortly after), so a press asks the server for its models once, not twice.
    struct Found {
        Server server;
        QJsonArray settings;
        QDeadlineTimer fresh;
    };
    std::optional<Found> m_found;

    Timeouts m_timeouts;
    std::unique_ptr<RequestEnd> m_giveUp; // tells every running request that it is given up
    Resolver m_resolver = systemResolve;
    ListenerOwners m_listenerOwners;
    QStringList m_refusedListeners; // logged once each
};
