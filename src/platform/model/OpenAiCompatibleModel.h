#pragma once

#include "platform/LanguageModel.h"

#include <QByteArray>
#include <QStringList>
#include <QUrl>

#include <chrono>
#include <memory>
#include <variant>

class QNetworkAccessManager;

// A local model server speaking the OpenAI-compatible chat completions API (llama.cpp's
// llama-server, Ollama and others). Settings, read at each use:
//   "modelEndpoint"    base URL ending before /models and /chat/completions; when absent,
//                      http://127.0.0.1:11434/v1 (Ollama), then http://127.0.0.1:8080/v1 (llama-server);
//   "modelName"        when absent or empty, the first model the server lists;
//   "modelAllowRemote" false unless true: a server that is not on this machine is not used.
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

    OpenAiCompatibleModel();
    explicit OpenAiCompatibleModel(Timeouts timeouts);
    ~OpenAiCompatibleModel() override;

    QCoro::Task<bool> isAvailable() override;
    QCoro::Task<Answer<QJsonObject>> respondStructured(QString instructions, QString prompt,
                                                       QJsonObject schema) override;
    QCoro::Task<Answer<QString>> respondText(QString instructions, QString prompt) override;

    // 127.0.0.0/8, ::1 (also as an IPv4-mapped address) and the name localhost.
    static bool isLoopbackHost(const QString& host);
    static QStringList defaultEndpoints();
    // JSON text in which an object's "properties" follow the order of its "required" list, so that
    // a schema keeps its property order (a QJsonObject sorts its keys).
    static QByteArray orderedJson(const QJsonValue& value);

private:
    struct Server {
        QUrl base;
        QString model;
    };
    struct HttpResult {
        int status = 0;
        QByteArray body;
        QString failure; // transport failure or time-out; empty when an HTTP answer came back
        bool refused = false;
    };

    // The endpoints to try, allowed ones only; refusals of remote ones are logged.
    QList<QUrl> endpoints() const;
    QCoro::Task<std::variant<Server, QString>> findServer(bool logFailures);
    QCoro::Task<HttpResult> send(QUrl url, QByteArray body, std::chrono::milliseconds connectTimeout,
                                 std::chrono::milliseconds wholeTimeout);
    QCoro::Task<Answer<QString>> chat(QString instructions, QString prompt, const QJsonObject* schema);

    Timeouts m_timeouts;
    std::unique_ptr<QNetworkAccessManager> m_network;
};
