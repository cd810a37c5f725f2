#include "platform/model/OpenAiCompatibleModel.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "platform/model/HttpAnswerReader.h"
#include "platform/model/ListeningSockets.h"
#include "platform/model/LogExcerpt.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <qcoro/qcorosignal.h>

#include <algorithm>
#include <unistd.h>

using std::chrono::milliseconds;

namespace {

const QString kEndpointKey = QStringLiteral("modelEndpoint");
const QString kNameKey = QStringLiteral("modelName");
const QString kAllowRemoteKey = QStringLiteral("modelAllowRemote");
// How long a server found by the availability check is taken as found by the request after it.
constexpr std::chrono::milliseconds kFoundFreshFor{5000};

QUrl withPath(const QUrl& base, const QString& tail)
{
    QUrl url = base;
    QString path = url.path();
    while (path.endsWith(QLatin1Char('/'))) path.chop(1);
    url.setPath(path + tail);
    return url;
}

// The server's own explanation, when its error answer carries one.
QString errorMessage(const QByteArray& body)
{
    const QJsonDocument doc = QJsonDocument::fromJson(body);
    const QJsonValue error = doc.object().value(QStringLiteral("error"));
    if (error.isString()) return error.toString();
    const QJsonValue message = error.toObject().value(QStringLiteral("message"));
    if (message.isString()) return message.toString();
    return logExcerpt(body);
}

QString describe(const QUrl& url, int status, const QByteArray& body)
{
    return QStringLiteral("%1 answered HTTP %2: %3").arg(url.toDisplayString()).arg(status).arg(errorMessage(body));
}

// A request as it goes on the wire: the path on the address connected to, and the name the
// server was configured with as its Host.
QByteArray requestBytes(const QUrl& url, const QString& host, const QByteArray& body)
{
    QByteArray path = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (path.isEmpty()) path = "/";
    const QString name = host.isEmpty() ? url.host() : host;
    QByteArray hostHeader = name.contains(QLatin1Char(':')) ? '[' + name.toLatin1() + ']' : QUrl::toAce(name);
    if (url.port() >= 0) hostHeader += ':' + QByteArray::number(url.port());
    QByteArray head = (body.isNull() ? QByteArrayLiteral("GET ") : QByteArrayLiteral("POST ")) + path
        + QByteArrayLiteral(" HTTP/1.1\r\nHost: ") + hostHeader
        + QByteArrayLiteral("\r\nAccept: application/json\r\nConnection: close\r\n");
    if (!body.isNull())
        head += QByteArrayLiteral("Content-Type: application/json\r\nContent-Length: ") + QByteArray::number(body.size())
            + QByteArrayLiteral("\r\n");
    return head + QByteArrayLiteral("\r\n") + body;
}

} // namespace

// Ends one request's wait: its answer came, it failed, or it was given up.
class RequestEnd : public QObject {
    Q_OBJECT
signals:
    void ended();
};

OpenAiCompatibleModel::OpenAiCompatibleModel()
    : OpenAiCompatibleModel(Timeouts())
{
}

OpenAiCompatibleModel::OpenAiCompatibleModel(Timeouts timeouts)
    : m_timeouts(timeouts)
    , m_giveUp(std::make_unique<RequestEnd>())
{
}

OpenAiCompatibleModel::~OpenAiCompatibleModel() = default;

void OpenAiCompatibleModel::giveUpRequests() { emit m_giveUp->ended(); }

bool OpenAiCompatibleModel::isLoopbackAddress(const QString& host)
{
    QString name = host;
    if (name.startsWith(QLatin1Char('[')) && name.endsWith(QLatin1Char(']'))) name = name.mid(1, name.size() - 2);
    QHostAddress address;
    if (!address.setAddress(name)) return false;
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    if (mapped) return (v4 >> 24) == 127;
    return address.isLoopback();
}

namespace {

// Carries the answer of an asynchronous host lookup to a coroutine that awaits it.
class HostLookup : public QObject {
    Q_OBJECT
public:
    void finish(const QHostInfo& info) { emit finished(info.error() == QHostInfo::NoError ? info.addresses() : QList<QHostAddress>()); }
signals:
    void finished(QList<QHostAddress> addresses);
};

} // namespace

QCoro::Task<QList<QHostAddress>> OpenAiCompatibleModel::systemResolve(QString host, milliseconds timeout)
{
    std::unique_ptr<HostLookup, void (*)(HostLookup*)> lookup(new HostLookup, [](HostLookup* l) { l->deleteLater(); });
    HostLookup* raw = lookup.get();
    const int id = QHostInfo::lookupHost(host, raw, [raw](const QHostInfo& info) { raw->finish(info); });
    const auto addresses = co_await qCoro(raw, &HostLookup::finished, std::max(timeout, milliseconds(1)));
    if (!addresses) {
        QHostInfo::abortHostLookup(id);
        co_return {};
    }
    co_return *addresses;
}

QCoro::Task<std::variant<QUrl, QString>> OpenAiCompatibleModel::pinAddress(QUrl base, milliseconds timeout)
{
    if (Defaults::shared().boolean(kAllowRemoteKey, false)) co_return base;
    const QString host = base.host();
    QList<QHostAddress> addresses;
    QHostAddress literal;
    if (literal.setAddress(host)) addresses = {literal};
    else addresses = co_await m_resolver(host, timeout);
    if (addresses.isEmpty())
        co_return QStringLiteral("%1: the name %2 does not resolve").arg(base.toDisplayString(), host);
    for (const QHostAddress& address : addresses) {
        if (!isLoopbackAddress(address.toString())) {
            Log::write(QStringLiteral("모델 서버가 이 컴퓨터 밖에 있어 쓰지 않음 (modelAllowRemote가 꺼져 있음): %1 → %2")
                           .arg(base.toDisplayString(), address.toString()));
            co_return QStringLiteral("%1 resolves to %2, not this machine").arg(base.toDisplayString(), address.toString());
        }
    }
    // Local servers listen on 127.0.0.1 by default; ::1 only when no IPv4 address is there.
    const auto v4 = std::find_if(addresses.begin(), addresses.end(), [](const QHostAddress& a) {
        return a.protocol() == QAbstractSocket::IPv4Protocol;
    });
    QUrl pinned = base;
    pinned.setHost((v4 != addresses.end() ? *v4 : addresses.first()).toString());
    co_return pinned;
}

QStringList OpenAiCompatibleModel::defaultEndpoints()
{
    return {QStringLiteral("http://127.0.0.1:11434/v1"), QStringLiteral("http://127.0.0.1:8080/v1")};
}

QList<QUrl> OpenAiCompatibleModel::endpoints(bool* fromSettings) const
{
    DefaultsStore& defaults = Defaults::shared();
    QStringList texts;
    const QJsonValue configured = defaults.value(kEndpointKey);
    if (fromSettings) *fromSettings = !configured.isUndefined();
    if (configured.isUndefined()) {
        texts = defaultEndpoints();
    } else if (configured.isString() && !configured.toString().trimmed().isEmpty()) {
        texts = {configured.toString().trimmed()};
    } else {
        Log::write(QStringLiteral("modelEndpoint 설정이 주소 문자열이 아니라 모델을 쓰지 않음"));
        return {};
    }
    const bool allowRemote = defaults.boolean(kAllowRemoteKey, false);
    QList<QUrl> urls;
    for (const QString& text : texts) {
        const QUrl url(text, QUrl::StrictMode);
        const QString scheme = url.scheme().toLower();
        if (!url.isValid() || url.host().isEmpty()
            || (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
            Log::write(QStringLiteral("modelEndpoint 주소가 올바른 http(s) 주소가 아니라 모델을 쓰지 않음: ") + text);
            continue;
        }
        QHostAddress literal;
        if (!allowRemote && literal.setAddress(url.host()) && !isLoopbackAddress(url.host())) {
            Log::write(QStringLiteral("모델 서버가 이 컴퓨터 밖에 있어 쓰지 않음 (modelAllowRemote가 꺼져 있음): ")
                       + url.toDisplayString());
            continue;
        }
        urls.append(url);
    }
    return urls;
}

OpenAiCompatibleModel::Listener OpenAiCompatibleModel::ownServer(const QUrl& pinned)
{
    const QHostAddress address(pinned.host());
    const quint16 port = quint16(pinned.port(pinned.scheme() == QLatin1String("https") ? 443 : 80));
    const auto owners = m_listenerOwners ? m_listenerOwners(address, port) : ListeningSockets::ownersNow(address, port);
    const uint me = ::getuid();
    // Nothing listening is refused at the connection anyway, and quietly: no need to try it.
    if (owners && owners->isEmpty()) return Listener::none;
    const auto other = owners ? std::find_if(owners->begin(), owners->end(), [me](uint uid) { return uid != me; })
                              : QList<uint>::const_iterator();
    if (owners && other == owners->end()) return Listener::ours;
    const QString endpoint = pinned.toDisplayString();
    if (!m_refusedListeners.contains(endpoint)) {
        m_refusedListeners.append(endpoint);
        Log::write(owners ? QStringLiteral("기본 주소 %1의 모델 서버가 다른 사용자(uid %2)의 것이라 쓰지 않음 "
                                           "(내 서버라면 설정의 modelEndpoint에 적으면 씀)")
                                .arg(endpoint, QString::number(*other))
                          : QStringLiteral("기본 주소 %1의 모델 서버가 누구의 것인지 알 수 없어 쓰지 않음 "
                                           "(/proc/net/tcp를 읽지 못함)")
                                .arg(endpoint));
    }
    return Listener::other;
}

QCoro::Task<OpenAiCompatibleModel::HttpResult> OpenAiCompatibleModel::send(QUrl url, QString host, QByteArray body,
                                                                           milliseconds connectTimeout,
                                                                           milliseconds wholeTimeout)
{
    // A connection of its own for each request, read here and closed when the frame ends, whatever
    // ended it: never past the cap, and nothing is left reading a server that keeps sending (Qt
    // 6.4's HTTP thread was seen reading such an answer into memory by the gigabyte, signalling
    // nothing, and reading on after the abort).
    const bool tls = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    std::unique_ptr<QTcpSocket, void (*)(QTcpSocket*)> socket(tls ? new QSslSocket : new QTcpSocket, [](QTcpSocket* s) {
        s->abort();
        s->deleteLater();
    });
    QTcpSocket* raw = socket.get();
    raw->setProxy(QNetworkProxy::NoProxy); // straight to the server: no proxy, and no redirect followed
    raw->setReadBufferSize(kReadAheadBytes);
    // Every link of ours to the socket goes with this, before the socket is closed.
    RequestEnd end;

    // A failure ends the wait from the event loop, not from inside a timer's or the socket's signal.
    QString failure;
    bool refused = false;
    auto fail = [&failure, &end](const QString& why) {
        if (!failure.isEmpty()) return;
        failure = why;
        QMetaObject::invokeMethod(&end, &RequestEnd::ended, Qt::QueuedConnection);
    };
    HttpAnswerReader answer(kMaxAnswerBytes);
    const auto answered = [&answer, &fail, &end, &url] {
        if (answer.state() == HttpAnswerReader::State::complete)
            QMetaObject::invokeMethod(&end, &RequestEnd::ended, Qt::QueuedConnection);
        else if (answer.state() == HttpAnswerReader::State::failed)
            fail(url.toDisplayString() + QStringLiteral(": ") + answer.error());
    };
    const auto read = [raw, &answer] {
        while (answer.state() == HttpAnswerReader::State::reading && raw->bytesAvailable() > 0)
            answer.feed(raw->read(kReadAheadBytes));
    };
    QObject::connect(raw, &QTcpSocket::readyRead, &end, [read, answered, &answer] {
        if (answer.state() != HttpAnswerReader::State::reading) return;
        read();
        answered();
    });
    const auto connectionEnded = [read, answered, &answer] {
        if (answer.state() != HttpAnswerReader::State::reading) return;
        read();
        answer.closed();
        answered();
    };
    QObject::connect(raw, &QTcpSocket::disconnected, &end, connectionEnded);
    QObject::connect(raw, &QAbstractSocket::errorOccurred, &end,
                     [raw, connectionEnded, &answer, &fail, &refused, &url](QAbstractSocket::SocketError error) {
                         if (error == QAbstractSocket::RemoteHostClosedError) return connectionEnded();
                         if (answer.state() != HttpAnswerReader::State::reading) return;
                         refused = error == QAbstractSocket::ConnectionRefusedError;
                         fail(url.toDisplayString() + QStringLiteral(": ") + raw->errorString());
                     });

    QTimer connectTimer;
    connectTimer.setSingleShot(true);
    QObject::connect(&connectTimer, &QTimer::timeout, &end, [&fail, &url, connectTimeout] {
        fail(QStringLiteral("%1: no connection within %2 ms").arg(url.toDisplayString()).arg(connectTimeout.count()));
    });
    QTimer wholeTimer;
    wholeTimer.setSingleShot(true);
    QObject::connect(&wholeTimer, &QTimer::timeout, &end, [&fail, &url, wholeTimeout] {
        fail(QStringLiteral("%1: time-out, no complete answer within %2 ms")
                 .arg(url.toDisplayString())
                 .arg(wholeTimeout.count()));
    });
    QObject::connect(m_giveUp.get(), &RequestEnd::ended, &end, [&fail, &url] {
        fail(url.toDisplayString() + QStringLiteral(": given up, the answer is no longer wanted"));
    });

    // Sent once connected (and encrypted); the connect time-out ends when all of it is written.
    const QByteArray request = requestBytes(url, host, body);
    qint64 written = 0;
    QObject::connect(raw, &QTcpSocket::bytesWritten, &connectTimer, [&written, &connectTimer, size = request.size()](qint64 n) {
        if ((written += n) >= size) connectTimer.stop();
    });
    const auto write = [raw, &request] { raw->write(request); };
    const quint16 port = quint16(url.port(tls ? 443 : 80));
    if (tls) {
        auto* secure = static_cast<QSslSocket*>(raw);
        QObject::connect(secure, &QSslSocket::encrypted, &end, write);
        secure->connectToHostEncrypted(url.host(), port, host.isEmpty() ? url.host() : host);
    } else {
        QObject::connect(raw, &QTcpSocket::connected, &end, write);
        raw->connectToHost(url.host(), port);
    }
    connectTimer.start(std::min(connectTimeout, wholeTimeout));
    wholeTimer.start(wholeTimeout);

    co_await qCoro(&end, &RequestEnd::ended);

    HttpResult result;
    if (!failure.isEmpty()) {
        result.failure = failure;
        result.refused = refused;
        co_return result;
    }
    result.status = answer.status();
    result.body = answer.body();
    co_return result;
}

QCoro::Task<std::variant<OpenAiCompatibleModel::Server, QString>> OpenAiCompatibleModel::findServer(bool logFailures)
{
    bool configured = false;
    const QList<QUrl> bases = endpoints(&configured);
    if (bases.isEmpty()) co_return QStringLiteral("no usable model endpoint");

    const QDeadlineTimer deadline(m_timeouts.availability.count());
    QStringList failures;
    for (const QUrl& base : bases) {
        const milliseconds left(std::max<qint64>(deadline.remainingTime(), 0));
        if (left.count() == 0) {
            failures.append(base.toDisplayString() + QStringLiteral(": not tried, the availability time-out ran out"));
            continue;
        }
        const auto pinned = co_await pinAddress(base, left);
        if (pinned.index() == 1) {
            failures.append(std::get<1>(pinned));
            continue;
        }
        const QUrl address = std::get<0>(pinned);
        if (const Listener listener = configured ? Listener::ours : ownServer(address); listener != Listener::ours) {
            failures.append(base.toDisplayString()
                            + (listener == Listener::none ? QStringLiteral(": nothing listens there")
                                                          : QStringLiteral(": the server there runs as another user")));
            continue;
        }
        const milliseconds rest(std::max<qint64>(deadline.remainingTime(), 1));
        const QUrl url = withPath(address, QStringLiteral("/models"));
        const HttpResult reply = co_await send(url, base.host(), QByteArray(), std::min(rest, m_timeouts.connect), rest);
        QString problem;
        if (!reply.failure.isEmpty()) {
            problem = reply.failure;
        } else if (reply.status != 200) {
            problem = describe(url, reply.status, reply.body);
        } else {
            const QJsonValue data = QJsonDocument::fromJson(reply.body).object().value(QStringLiteral("data"));
            QString first;
            for (const QJsonValue& model : data.toArray()) {
                const QString id = model.toObject().value(QStringLiteral("id")).toString();
                if (!id.isEmpty()) {
                    first = id;
                    break;
                }
            }
            if (first.isEmpty()) {
                problem = url.toDisplayString() + QStringLiteral(" lists no model: ") + logExcerpt(reply.body);
            } else {
                const QString configured = Defaults::shared().string(kNameKey).trimmed();
                co_return Server{address, base.host(), configured.isEmpty() ? first : configured};
            }
        }
        // Nothing listening is the ordinary state of a machine without a model server.
        if (logFailures && !reply.refused) Log::write(QStringLiteral("모델 서버를 쓸 수 없음: ") + problem);
        failures.append(problem);
    }
    co_return failures.join(QStringLiteral("; "));
}

QCoro::Task<bool> OpenAiCompatibleModel::isAvailable()
{
    m_found.reset();
    const auto server = co_await findServer(true);
    if (server.index() != 0) co_return false;
    m_found = Found{std::get<0>(server), settingsNow(), QDeadlineTimer(kFoundFreshFor)};
    co_return true;
}

QJsonArray OpenAiCompatibleModel::settingsNow()
{
    DefaultsStore& defaults = Defaults::shared();
    return QJsonArray{defaults.value(kEndpointKey), defaults.value(kNameKey), defaults.value(kAllowRemoteKey)};
}

QCoro::Task<LanguageModel::Answer<QString>> OpenAiCompatibleModel::chat(QString instructions, QString prompt,
                                                                        const QJsonObject* schema)
{
    using Result = Answer<QString>;
    const auto failure = [](const QString& why) {
        return Result{std::variant<QString, QString>(std::in_place_index<1>, why)};
    };

    std::optional<Server> handed;
    if (m_found && !m_found->fresh.hasExpired() && m_found->settings == settingsNow()) handed = m_found->server;
    m_found.reset();
    if (!handed) {
        const auto found = co_await findServer(false);
        if (found.index() == 1) co_return failure(QStringLiteral("no model server: ") + std::get<1>(found));
        handed = std::get<0>(found);
    }
    const Server server = *handed;

    QString userText = prompt;
    QByteArray responseFormat;
    if (schema) {
        const QByteArray schemaText = orderedJson(*schema);
        userText += QStringLiteral("\n\n다음 JSON 스키마에 맞는 JSON 객체 하나로만 답합니다:\n") + QString::fromUtf8(schemaText);
        responseFormat = QByteArrayLiteral(",\"response_format\":{\"type\":\"json_schema\",\"json_schema\":"
                                           "{\"name\":\"answer\",\"strict\":true,\"schema\":")
            + schemaText + QByteArrayLiteral("}}");
    }
    const QJsonArray messages{
        QJsonObject{{QStringLiteral("role"), QStringLiteral("system")}, {QStringLiteral("content"), instructions}},
        QJsonObject{{QStringLiteral("role"), QStringLiteral("user")}, {QStringLiteral("content"), userText}}};
    const QByteArray body = QByteArrayLiteral("{\"model\":") + orderedJson(server.model)
        + QByteArrayLiteral(",\"stream\":false,\"messages\":") + orderedJson(messages) + responseFormat + '}';

    const QUrl url = withPath(server.base, QStringLiteral("/chat/completions"));
    const HttpResult reply = co_await send(url, server.host, body, m_timeouts.connect, m_timeouts.request);
    if (!reply.failure.isEmpty()) co_return failure(reply.failure);
    if (reply.status < 200 || reply.status > 299) co_return failure(describe(url, reply.status, reply.body));

    Result answer = chatContent(reply.body);
    if (!answer.ok()) co_return failure(url.toDisplayString() + QStringLiteral(" answered ") + answer.error());
    co_return answer;
}

QCoro::Task<LanguageModel::Answer<QJsonObject>> OpenAiCompatibleModel::respondStructured(QString instructions,
                                                                                       QString prompt,
                                                                                       QJsonObject schema)
{
    using Result = Answer<QJsonObject>;
    const auto failure = [](const QString& why) {
        return Result{std::variant<QJsonObject, QString>(std::in_place_index<1>, why)};
    };
    const Answer<QString> text = co_await chat(instructions, prompt, &schema);
    if (!text.ok()) co_return failure(text.error());
    co_return structuredContent(text.get(), schema);
}

QCoro::Task<LanguageModel::Answer<QString>> OpenAiCompatibleModel::respondText(QString instructions, QString prompt)
{
    co_return co_await chat(instructions, prompt, nullptr);
}

#include "OpenAiCompatibleModel.moc"
