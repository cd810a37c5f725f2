#include "core/LanguageModels.h"
#include "base/Log.h"
#include "core/RankEngine.h"
#include "core/Ranker.h"
#include "platform/model/HttpAnswerReader.h"
#include "platform/model/ListeningSockets.h"
#include "platform/model/OpenAiCompatibleModel.h"
#include "HttpPeer.h"
#include "TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QJsonArray>

#include <unistd.h>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

using TestSupport::logNames;

namespace {

using TestSupport::pool;
const auto pick = TestSupport::pickJson;

// A peer listing one model, and the HTTP client pointed at it as the shared model. The peer runs
// in this process, so on a loaded machine its listing may take longer than the program's 300 ms
// availability budget; the budget is widened here and checked where it is the point.
struct Fixture {
    HttpPeer peer;
    std::shared_ptr<DefaultsStore> defaults = TestSupport::freshDefaults();
    std::shared_ptr<OpenAiCompatibleModel> model;

    explicit Fixture(OpenAiCompatibleModel::Timeouts timeouts = {5000ms})
        : model(std::make_shared<OpenAiCompatibleModel>(timeouts))
    {
        peer.listModels();
        defaults->setValue("modelEndpoint", peer.endpoint());
        LanguageModels::setShared(model);
    }
    ~Fixture() { LanguageModels::setShared(nullptr); }

    QList<RankedCandidate> rank(int n = 4)
    {
        return QCoro::waitFor(Ranker::rank("수도", pool(n), "한 나라의 수도", 3));
    }
};

bool spinUntil(const std::function<bool()>& done, int ms = 10000)
{
    const QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

QList<RankedCandidate> frequencyOrder(int n = 4)
{
    QList<RankedCandidate> out;
    for (const HanjaEntry& e : pool(n).mid(0, 3)) out.append(RankedCandidate{e, QString(), QString()});
    return out;
}

} // namespace

TEST(OpenAiCompatibleModelTest, AValidPickIsRankedAndTheRequestCarriesSchemaAndTexts)
{
    Fixture f;
    f.peer.next("POST /v1/chat/completions", HttpPeer::chatJson(pick({2, 0}, "문맥상 죄수.", {" 죄수 ", "서울"})));
    EXPECT_EQ(QCoro::waitFor(engineInForce()), RankEngine::model);
    const QList<HanjaEntry> p = pool(4);
    // One press asks for the model list once: the request goes to the server the check found.
    const qsizetype listsBefore = f.peer.requests("GET", "/v1/models").size();
    EXPECT_EQ(f.rank(), (QList<RankedCandidate>{{p[2], "문맥상 죄수.", "죄수"}, {p[0], "", "서울"}, {p[1], "", ""}}));
    EXPECT_EQ(f.peer.requests("GET", "/v1/models").size() - listsBefore, 1);

    const QList<HttpPeer::Request> chats = f.peer.requests("POST", "/v1/chat/completions");
    ASSERT_EQ(chats.size(), 1);
    // The model listed first, and the schema (whose properties a real server then writes in their
    // order on the wire: LlamaServerTest's structured pick).
    const QJsonObject body = chats.first().json();
    EXPECT_EQ(body.value("model").toString(), "test-model");
    const QJsonObject format = body.value("response_format").toObject().value("json_schema").toObject();
    EXPECT_EQ(format.value("schema").toObject(), Ranker::Pick::schema());
    EXPECT_TRUE(format.value("strict").toBool());

    // A configured model name is sent instead of the first one listed.
    f.defaults->setValue("modelName", "qwen2.5:7b");
    f.peer.next("POST /v1/chat/completions", HttpPeer::chatAnswer("```json\n{\"indices\":[1],\"reason\":\"r\",\"meanings\":[]}\n```"));
    EXPECT_EQ(f.rank().first(), (RankedCandidate{p[1], "r", ""}));
    EXPECT_EQ(f.peer.requests("POST", "/v1/chat/completions").last().json().value("model").toString(), "qwen2.5:7b");
    // A reasoning model's thinking before the JSON is left aside.
    f.peer.next("POST /v1/chat/completions",
                HttpPeer::chatAnswer("<think>수도는 首都.</think>\n{\"indices\":[0],\"reason\":\"r\",\"meanings\":[]}"));
    EXPECT_EQ(f.rank().first(), (RankedCandidate{p[0], "r", ""}));
}

// Message contents that are no pick are the model-answer fuzz target's; here, bodies that hold none.
TEST(OpenAiCompatibleModelTest, UnusableAnswersAreModelErrorsWithFrequencyFallback)
{
    Fixture f;
    const auto chat = "POST /v1/chat/completions";
    f.peer.next(chat, HttpPeer::Response{200, "<html>not json</html>"});
    f.peer.next(chat, HttpPeer::Response{200, R"({"choices":[]})"});
    f.peer.next(chat, HttpPeer::Response{500, R"({"error":{"message":"model crashed"}})"});
    for (int i = 0; i < 3; ++i) EXPECT_EQ(f.rank(), frequencyOrder()) << "answer " << i;
}

TEST(OpenAiCompatibleModelTest, AnAnswerTheServerDidNotFinishIsAnError)
{
    Fixture f;
    const auto chat = "POST /v1/chat/completions";
    // Cut at the length limit, the cleanup would delete the rest of the sentence it replaces (a pick
    // cut so is LlamaServerTest's).
    for (const QString reason : {"length", "content_filter"}) {
        f.peer.next(chat, HttpPeer::chatAnswer("오늘은 날씨가", reason));
        EXPECT_EQ(QCoro::waitFor(Ranker::cleanTypos("오늘은 날씨가 좋네요 정말로 좋아요.", "")), std::nullopt) << reason.toStdString();
    }

    // A natural end, also under the older name some servers give it, or none told.
    for (const QString& reason : {QString("stop"), QString("eos_token"), QString()}) {
        f.peer.next(chat, HttpPeer::chatAnswer("안녕하세요", reason));
        EXPECT_EQ(QCoro::waitFor(Ranker::cleanTypos("안녕하세여", "")), std::optional<QString>("안녕하세요"))
            << reason.toStdString();
    }
}

// A pick that comes too late ranks nothing: AGivenUpRequestClosesItsConnection.
TEST(OpenAiCompatibleModelTest, AnAnswerSlowerThanTheTimeOutIsAModelError)
{
    Fixture f(OpenAiCompatibleModel::Timeouts{5000ms, 5000ms, 150ms});
    f.peer.next("POST /v1/chat/completions", HttpPeer::Response{200, {}, 0, true});
    EXPECT_EQ(QCoro::waitFor(Ranker::cleanTypos("안녕하세여", "")), std::nullopt);

    // A listing that hangs makes the model unavailable within the availability time-out.
    f.peer.always("GET /v1/models", HttpPeer::Response{200, {}, 0, true});
    OpenAiCompatibleModel quick(OpenAiCompatibleModel::Timeouts{300ms});
    EXPECT_FALSE(QCoro::waitFor(quick.isAvailable()));
}

TEST(OpenAiCompatibleModelTest, AvailabilityNeedsAListedModelOnThisMachine)
{
    Fixture f;
    Log::Collector log;
    EXPECT_TRUE(QCoro::waitFor(f.model->isAvailable()));

    f.peer.always("GET /v1/models", HttpPeer::Response{200, R"({"object":"list","data":[]})"});
    EXPECT_FALSE(QCoro::waitFor(f.model->isAvailable()));
    f.peer.always("GET /v1/models", HttpPeer::Response{500, "boom"});
    EXPECT_FALSE(QCoro::waitFor(f.model->isAvailable()));
    EXPECT_EQ(f.rank(), frequencyOrder());
    EXPECT_EQ(QCoro::waitFor(Ranker::cleanTypos("안녕하세여", "")), std::nullopt);
    EXPECT_TRUE(f.peer.requests("POST", "/v1/chat/completions").isEmpty());

    // Nothing listening is the ordinary case: unavailable, and silent.
    log.clear();
    QTcpServer closed;
    closed.listen(QHostAddress::LocalHost, 0);
    const quint16 port = closed.serverPort();
    closed.close();
    f.defaults->setValue("modelEndpoint", QStringLiteral("http://127.0.0.1:%1/v1").arg(port));
    EXPECT_FALSE(QCoro::waitFor(f.model->isAvailable()));
    EXPECT_EQ(QCoro::waitFor(engineInForce()), RankEngine::frequency);
    EXPECT_TRUE(log.lines().isEmpty());

    // A remote endpoint is refused before anything is sent, and the refusal is logged.
    f.defaults->setValue("modelEndpoint", "http://192.0.2.10:11434/v1");
    EXPECT_FALSE(QCoro::waitFor(f.model->isAvailable()));
    EXPECT_EQ(f.rank(), frequencyOrder());
    EXPECT_TRUE(logNames(log, {"192.0.2.10"})) << "the refusal names the address";
    f.defaults->setValue("modelEndpoint", "ftp://127.0.0.1/v1");
    EXPECT_FALSE(QCoro::waitFor(f.model->isAvailable()));
    EXPECT_TRUE(logNames(log, {"ftp://127.0.0.1/v1"}));
    f.defaults->setValue("modelEndpoint", 11434);
    EXPECT_FALSE(QCoro::waitFor(f.model->isAvailable()));
    EXPECT_TRUE(logNames(log, {"modelEndpoint"}));
    // Allowed, a remote endpoint is tried: TheLoopbackGuardDecidesOnTheAddressConnectedTo.
}

namespace {
QCoro::Task<QList<QHostAddress>> resolved(QList<QHostAddress> addresses) { co_return addresses; }
} // namespace

// The guard looks at the address a name resolves to, once, and the requests go to that address.
TEST(OpenAiCompatibleModelTest, TheLoopbackGuardDecidesOnTheAddressConnectedTo)
{
    Fixture f;
    const QHostAddress remote("192.0.2.10");
    const std::map<QString, QList<QHostAddress>> names{
        {"localhost.", {remote}},
        {"127.0.0.1.", {remote}},
        {"mixed.test", {QHostAddress(QHostAddress::LocalHost), remote}},
        {"model.test", {QHostAddress(QHostAddress::LocalHostIPv6), QHostAddress(QHostAddress::LocalHost)}},
    };
    QStringList asked;
    f.model->setResolver([&](QString host, std::chrono::milliseconds) {
        asked.append(host);
        const auto it = names.find(host);
        return resolved(it == names.end() ? QList<QHostAddress>() : it->second);
    });
    const QString port = QUrl(f.peer.endpoint()).port() > 0 ? QString::number(QUrl(f.peer.endpoint()).port()) : "";
    Log::Collector log;
    for (const QString host : {"localhost.", "127.0.0.1.", "mixed.test", "nowhere.test"}) {
        f.defaults->setValue("modelEndpoint", QStringLiteral("http://%1:%2/v1").arg(host, port));
        EXPECT_FALSE(QCoro::waitFor(f.model->isAvailable())) << host.toStdString();
        EXPECT_EQ(f.rank(), frequencyOrder()) << host.toStdString();
    }
    EXPECT_TRUE(f.peer.requests().isEmpty()) << "nothing was sent";
    EXPECT_TRUE(logNames(log, {"192.0.2.10"})) << "the refusal names the address";

    // A name whose every address is loopback is used, by its IPv4 address (where local servers
    // listen), which the system resolver could not have found for this name.
    asked.clear();
    f.defaults->setValue("modelEndpoint", QStringLiteral("http://model.test:%1/v1").arg(port));
    f.peer.next("POST /v1/chat/completions", HttpPeer::chatJson(pick({1, 0, 2}, "이유", {"가", "나", "다"})));
    EXPECT_TRUE(QCoro::waitFor(f.model->isAvailable()));
    EXPECT_EQ(f.rank().first().entry.hanja(), pool(4)[1].hanja());
    EXPECT_EQ(f.peer.requests("POST", "/v1/chat/completions").size(), 1);
    EXPECT_TRUE(asked.contains("model.test"));

    // Allowed to go elsewhere, the name is left to the connection.
    asked.clear();
    f.defaults->setValue("modelAllowRemote", true);
    EXPECT_FALSE(QCoro::waitFor(f.model->isAvailable()));
    EXPECT_TRUE(asked.isEmpty());
}

TEST(OpenAiCompatibleModelTest, LoopbackHostsAreAddressesNeverNames)
{
    for (const char* host : {"127.0.0.1", "127.10.0.3", "::1", "[::1]", "::ffff:127.0.0.1"})
        EXPECT_TRUE(OpenAiCompatibleModel::isLoopbackAddress(host)) << host;
    // Names are decided by what they resolve to, never by how they read.
    for (const char* host : {"128.0.0.1", "0.0.0.0", "192.168.1.2", "::", "127.0.0.1.example.com", "localhost.example",
                             "::ffff:10.0.0.1", "", "localhost", "localhost.", "127.0.0.1."})
        EXPECT_FALSE(OpenAiCompatibleModel::isLoopbackAddress(host)) << host;
}

TEST(OpenAiCompatibleModelTest, CleanTyposAsksForFreeText)
{
    Fixture f;
    // A reasoning model's thinking is no part of the text; thinking cut off before its end is no answer.
    f.peer.next("POST /v1/chat/completions", HttpPeer::chatAnswer("<think>\n오타: 세여 → 세요\n</think>\n\n안녕하세요"));
    EXPECT_EQ(QCoro::waitFor(Ranker::cleanTypos("안녕하세여", "문맥")), std::optional<QString>("안녕하세요"));
    f.peer.next("POST /v1/chat/completions", HttpPeer::chatAnswer("<think>\n오타: 세여 → 세"));
    EXPECT_EQ(QCoro::waitFor(Ranker::cleanTypos("안녕하세여", "문맥")), std::nullopt);
    EXPECT_FALSE(f.peer.requests("POST", "/v1/chat/completions").first().json().contains("response_format"));
}

// A request given up for any reason closes its connection at once, so the server stops sending,
// and the requests after it still find a free connection.
TEST(OpenAiCompatibleModelTest, AGivenUpRequestClosesItsConnection)
{
    Log::Collector log;
    const auto chat = "POST /v1/chat/completions";
    const HttpPeer::Response endless{200, {}, 0, false, true}, hang{200, {}, 0, true};
    {
        // Time enough for the size cap to come first, even in an instrumented build.
        Fixture f(OpenAiCompatibleModel::Timeouts{20000ms, 20000ms, 20000ms});
        const auto allClosed = [&] { return spinUntil([&] { return f.peer.openConnections() == 0; }, 60000); };
        f.peer.next(chat, endless);
        EXPECT_EQ(f.rank(), frequencyOrder());
        EXPECT_TRUE(log.contains("answer larger than")) << log.lines().join(u'\n').toStdString();
        EXPECT_TRUE(allClosed()) << "the endless answer is still being read";
        f.peer.always("GET /v1/models", endless);
        EXPECT_FALSE(QCoro::waitFor(f.model->isAvailable()));
        EXPECT_TRUE(allClosed());
    }
    Fixture f(OpenAiCompatibleModel::Timeouts{300ms, 1000ms, 300ms});
    const auto allClosed = [&] { return spinUntil([&] { return f.peer.openConnections() == 0; }); };

    // More time-outs than there are connections to one server; then it answers again.
    for (int i = 0; i < 7; ++i) {
        f.peer.next(chat, hang);
        EXPECT_EQ(f.rank(), frequencyOrder()) << i;
    }
    EXPECT_TRUE(allClosed());
    // It answers again and ranks again (a try may still run out of time on a busy machine).
    f.peer.always(chat, HttpPeer::chatJson(pick({2}, "r", {})));
    EXPECT_TRUE(spinUntil([&] { return f.rank().first().entry == pool(4)[2]; }, 30000));

    // Nobody waits for the answer any more (the panel closed).
    f.peer.next(chat, hang);
    const qsizetype sent = f.peer.requests("POST", "/v1/chat/completions").size();
    auto pending = f.model->respondText("지시", "글");
    ASSERT_TRUE(spinUntil([&] { return f.peer.requests("POST", "/v1/chat/completions").size() > sent; }));
    f.model->giveUpRequests();
    EXPECT_FALSE(QCoro::waitFor(std::move(pending)).ok());
    EXPECT_TRUE(allClosed());
}

// Any user may run a server on the default ports: one of another user's gets no text.
TEST(OpenAiCompatibleModelTest, ADefaultEndpointIsUsedOnlyWhenItsServerRunsAsThisUser)
{
    const QByteArray tcp =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n"
        "   0: 0100007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1001        0 1 1\n"
        "   1: 00000000:2CAA 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1002        0 2 1\n"
        "   2: 0100007F:2CAA 0100007F:9C40 01 00000000:00000000 00:00000000 00000000  1003        0 3 1\n"
        "   3: 0200007F:1F90 00000000:0000 0A 00000000:00000000 00:00000000 00000000  1004        0 4 1\n";
    const QByteArray tcp6 =
        "  sl  local_address                         remote_address                        st tx_queue rx_queue tr tm->when retrnsmt   uid\n"
        "   0: 00000000000000000000000001000000:1F90 00000000000000000000000000000000:0000 0A 00000000:00000000 00:00000000 00000000  1005\n"
        "   1: 0000000000000000FFFF00000100007F:0050 00000000000000000000000000000000:0000 0A 00000000:00000000 00:00000000 00000000  1006\n"
        "   2: 00000000000000000000000000000000:2CAA 00000000000000000000000000000000:0000 0A 00000000:00000000 00:00000000 00000000  1007\n";
    const QHostAddress v4(QHostAddress::LocalHost), v6(QHostAddress::LocalHostIPv6);
    const struct {
        const QByteArray& table;
        QHostAddress address;
        quint16 port;
        QList<uint> owners;
    } cases[] = {
        {tcp, v4, 8080, {1001}},         // bound to 127.0.0.1, not to 127.0.0.2
        {tcp, v4, 11434, {1002}},        // to every address; a connection is no listener
        {tcp, v4, 9999, {}},
        {tcp6, v6, 8080, {1005}},        // ::1
        {tcp6, v4, 80, {1006}},          // ::ffff:127.0.0.1
        {tcp6, v4, 11434, {1007}},       // :: takes IPv4 too
        {tcp6, v4, 8080, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ListeningSockets::owners(c.table, c.address, c.port), c.owners) << c.address.toString().toStdString() << ":" << c.port;
    Fixture f;
    EXPECT_EQ(ListeningSockets::ownersNow(v4, QUrl(f.peer.endpoint()).port()), QList<uint>{::getuid()});

    // Another user's server on the default endpoints is never asked, and said so once; one the
    // user named is asked as named.
    Log::Collector log;
    f.model->setListenerOwners([](QHostAddress, quint16) { return std::optional<QList<uint>>(QList<uint>{::getuid() + 1}); });
    f.defaults->remove("modelEndpoint");
    for (int i = 0; i < 2; ++i) EXPECT_FALSE(QCoro::waitFor(f.model->isAvailable()));
    EXPECT_EQ(log.count("다른 사용자"), 2) << "once for each default endpoint";
    EXPECT_EQ(f.rank(), frequencyOrder());
    f.defaults->setValue("modelEndpoint", f.peer.endpoint());
    EXPECT_TRUE(QCoro::waitFor(f.model->isAvailable()));
}

// Answers that are no answer fail with what is wrong; an interim answer is passed over.
TEST(HttpAnswerReaderTest, MalformedAndCutAnswersFailAndAnInterimOneIsPassedOver)
{
    const struct {
        QByteArray wire;
        const char* error; // empty: complete
    } cases[] = {
        {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 204 No Content\r\n\r\n", ""},
        {"SSH-2.0-OpenSSH\r\n", "not an HTTP answer"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd", "two different Content-Lengths"},
        {"HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", "a malformed Content-Length"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\n", "a Transfer-Encoding not read here"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcd\r\n0\r\n\r\n", "a chunk longer than its size"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", "a malformed chunk size"},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n11\r\n", "answer larger than 16 bytes"},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nab", "the connection closed before the answer ended"},
        {"HTTP/1.1 200 OK\r\nX: " + QByteArray(HttpAnswerReader::kMaxHeaderBytes, 'x'), "a line of the answer too long"},
        {"", "the connection closed without an answer"},
    };
    for (const auto& c : cases) {
        HttpAnswerReader reader(16);
        reader.feed(c.wire);
        reader.closed();
        EXPECT_EQ(reader.state(), *c.error ? HttpAnswerReader::State::failed : HttpAnswerReader::State::complete)
            << c.wire.left(60).toStdString();
        EXPECT_TRUE(*c.error ? reader.error().startsWith(QLatin1String(c.error)) : reader.error().isEmpty())
            << reader.error().toStdString();
    }
}
