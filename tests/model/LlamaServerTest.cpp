// The model client against llama.cpp's llama-server on generated models: what the server really
// sends (its model list, its answers to structured requests, its errors, its silence when stopped).

#include "LlamaServer.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "core/LanguageModels.h"
#include "core/Ranker.h"
#include "support/MemoryDefaultsStore.h"
#include "platform/model/OpenAiCompatibleModel.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <qcoro/qcoroprocess.h>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

const QString kPick = QStringLiteral(R"({"indices":[2,0],"reason":"문맥상 죄수.","meanings":["죄수","서울"]})");

// The client in this process, pointed at a server.
struct Client {
    std::shared_ptr<MemoryDefaultsStore> defaults = std::make_shared<MemoryDefaultsStore>();
    std::shared_ptr<OpenAiCompatibleModel> model;

    explicit Client(const QString& endpoint, OpenAiCompatibleModel::Timeouts timeouts = {})
        : model(std::make_shared<OpenAiCompatibleModel>(timeouts))
    {
        Defaults::setShared(defaults);
        defaults->setValue("modelEndpoint", endpoint);
        LanguageModels::setShared(model);
    }
    ~Client() { LanguageModels::setShared(nullptr); }
};

QList<HanjaEntry> pool()
{
    QList<HanjaEntry> list;
    for (const char* h : {"首都", "修道", "囚徒", "水道"}) list.append(HanjaEntry("수도", h, QString()));
    return list;
}

// The command line, as a user runs it, with its own settings.
struct CommandLine {
    QTemporaryDir config;
    explicit CommandLine(const QString& endpoint)
    {
        QDir().mkpath(config.filePath("sorelwick"));
        QFile file(config.filePath("sorelwick/defaults.json"));
        file.open(QIODevice::WriteOnly);
        file.write(QJsonDocument(QJsonObject{{"modelEndpoint", endpoint}}).toJson());
    }
    // What the command prints.
    QString run(const QStringList& arguments)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config.path());
        env.insert("SORELWICK_DATA_DIR", SORELWICK_BUILD_DATA_DIR);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(SORELWICK_BIN_DIR "/sorelwick"), arguments);
        QCoro::waitFor(qCoro(process).waitForFinished(60000ms));
        return QString::fromUtf8(process.readAllStandardOutput());
    }
    QJsonObject lookup(const QString& text) { return QJsonDocument::fromJson(run({"lookup", "--json", text}).toUtf8()).object(); }
};

QStringList primaries(const QJsonObject& lookup)
{
    QStringList out;
    for (const QJsonValue& row : lookup.value("rows").toArray()) out.append(row.toObject().value("primary").toString());
    return out;
}

QString closedEndpoint()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return QStringLiteral("http://127.0.0.1:%1/v1").arg(probe.serverPort());
}

} // namespace

#define START(server)                                                                                                  \
    ASSERT_TRUE(server.ready()) << server.failure().toStdString()

// One server for what the client reads of it: its model list (llama-server's own "models" besides
// OpenAI's "data"; no modelName means the first listed), a structured answer the panel follows,
// and a schema it cannot turn into a grammar, refused with its reason.
TEST(LlamaServerTest, TheModelListAStructuredPickAndARefusedFormatAsTheServerSendsThem)
{
    LlamaServer server(kPick);
    START(server);
    const QJsonObject list = QJsonDocument::fromJson(server.get("/v1/models")).object();
    ASSERT_TRUE(list.value("models").isArray()) << QJsonDocument(list).toJson().toStdString();
    ASSERT_FALSE(list.value("data").toArray().first().toObject().value("id").toString().isEmpty());
    Client client(server.endpoint());
    EXPECT_TRUE(QCoro::waitFor(client.model->isAvailable()));
    const auto text = QCoro::waitFor(client.model->respondText("지시", "질문"));
    ASSERT_TRUE(text.ok()) << text.error().toStdString();
    EXPECT_EQ(text.get(), kPick);

    const auto answer = QCoro::waitFor(client.model->respondStructured("지시", "질문", Ranker::Pick::schema()));
    ASSERT_TRUE(answer.ok()) << answer.error().toStdString();
    EXPECT_EQ(answer.get(), QJsonDocument::fromJson(kPick.toUtf8()).object());
    const QList<RankedCandidate> ranked = QCoro::waitFor(Ranker::rank("수도", pool(), "감옥의 수도", 3));
    ASSERT_EQ(ranked.size(), 3);
    EXPECT_EQ(ranked[0], (RankedCandidate{pool()[2], "문맥상 죄수.", "죄수"}));
    EXPECT_EQ(ranked[1], (RankedCandidate{pool()[0], "", "서울"}));
    const QStringList frequency = primaries(CommandLine(closedEndpoint()).lookup("수도"));
    ASSERT_GE(frequency.size(), 3);
    const QJsonObject panel = CommandLine(server.endpoint()).lookup("수도");
    EXPECT_TRUE(panel.value("header").toString().contains(" · AI · ")) << panel.value("header").toString().toStdString();
    EXPECT_EQ(primaries(panel).mid(0, 2), (QStringList{frequency[2], frequency[0]}));

    const QJsonObject unsupported{{"type", "object"},
                                  {"properties", QJsonObject{{"a", QJsonObject{{"$ref", "#/definitions/missing"}}}}},
                                  {"required", QJsonArray{"a"}}};
    const auto refused = QCoro::waitFor(client.model->respondStructured("지시", "질문", unsupported));
    ASSERT_FALSE(refused.ok());
    EXPECT_TRUE(refused.error().contains("answered HTTP 4")) << refused.error().toStdString();
}

// The server stops every answer after four tokens: half an object, which falls back as the unit
// tier's cut-off answers do (a cleanup cut so is not offered either).
TEST(LlamaServerTest, AnAnswerThatBreaksTheSchemaFallsBackToFrequencyWithALogLine)
{
    LlamaServer server(kPick, {}, {"-n", "4"});
    START(server);
    Client client(server.endpoint());
    Log::Collector log;
    const QList<RankedCandidate> ranked = QCoro::waitFor(Ranker::rank("수도", pool(), "감옥의 수도", 3));
    EXPECT_EQ(ranked.first().entry, pool()[0]);
    EXPECT_TRUE(log.contains("answered only part of an answer (finish_reason \"length\")"))
        << log.lines().join("\n").toStdString();

    const QStringList frequency = primaries(CommandLine(closedEndpoint()).lookup("수도"));
    const QJsonObject panel = CommandLine(server.endpoint()).lookup("수도");
    EXPECT_TRUE(panel.value("header").toString().contains(" · 빈도순 · ")) << panel.value("header").toString().toStdString();
    EXPECT_EQ(primaries(panel), frequency);
}

// The sentence selected whole, the first step's cleanup offer picked: what simulate prints.
QString pickCleanupOffer(const LlamaServer& server, const QString& sentence)
{
    CommandLine cli(server.endpoint());
    const QJsonArray steps = cli.lookup(sentence).value("steps").toArray();
    const QJsonArray rows = steps.first().toObject().value("rows").toArray();
    qsizetype offer = 0;
    for (qsizetype i = 0; i < rows.size(); ++i)
        if (rows[i].toObject().value("kind").toString() == "action") offer = i + 1;
    EXPECT_GT(offer, 0) << "no cleanup offered in the first step";
    return cli.run({"simulate", sentence, "--select", sentence, "--press", "--pick", QString::number(offer)});
}

TEST(LlamaServerTest, TypoCleanupOffersTheServersText)
{
    LlamaServer server("어제 학교에 갔습니다.");
    START(server);
    Client client(server.endpoint());
    EXPECT_EQ(QCoro::waitFor(Ranker::cleanTypos("어제 학교에 갔읍니다.", "")), std::optional<QString>("어제 학교에 갔습니다."));
    // A sentence is stepped through word by word; its first step offers the cleanup of the whole.
    const QString out = pickCleanupOffer(server, "어제 학교에 갔읍니다.");
    EXPECT_TRUE(out.contains("어제 학교에 갔습니다.")) << out.toStdString();
}

// A server stopped in the middle of an answer: the ranking falls back when the request's time-out
// runs out, and the next check gives up within the availability budget.
TEST(LlamaServerTest, AServerStoppedMidRequestGivesTheFrequencyOrderWithinTheTimeOuts)
{
    // A long context, so the endless answer is still being written when the server is stopped.
    LlamaServer server(R"({"indices":[1],"reason":")", "가나다라마바사아자차카타파하", {"-c", "65536"});
    START(server);
    const OpenAiCompatibleModel::Timeouts documented;
    Client client(server.endpoint());
    Log::Collector log;
    // Stopped as soon as the server has taken the request on.
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&server, &watcher] {
        if (!server.log().contains("processing task")) return;
        server.signal(SIGSTOP);
        watcher.stop();
    });
    watcher.start(10);
    QElapsedTimer timer;
    timer.start();
    const QList<RankedCandidate> ranked = QCoro::waitFor(Ranker::rank("수도", pool(), "감옥의 수도", 3));
    const qint64 took = timer.elapsed();
    EXPECT_EQ(ranked.first().entry, pool()[0]);
    EXPECT_LE(took, documented.request.count() + 2000);
    EXPECT_TRUE(log.contains("time-out")) << log.lines().join("\n").toStdString();

    timer.start();
    EXPECT_FALSE(QCoro::waitFor(client.model->isAvailable()));
    // A stopped server answers nothing: the check ends by its own time-out, not by a socket's.
    EXPECT_LE(timer.elapsed(), documented.availability.count() + 2000);
    server.stop();
}
