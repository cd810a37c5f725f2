// The model client against llama.cpp's llama-server on generated models: what the server really
// sends (its model list, its answers to structured requests, its errors, its silence when stopped).

#include "LlamaServer.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "core/LanguageModels.h"
#include "core/Ranker.h"
#include "support/MemoryDefaultsStore.h"
#include "platform/model/OpenAiCompatibleModel.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <gtest/gtest.h>

namespace {

const QString kPick = QStringLiteral(R"({"indices":[2,0],"reason":"문맥상 죄수.","meanings":["죄수","서울"]})");

// The client in this process, pointed at a server.
struct Client {
    std::shared_ptr<MemoryDefaultsStore> defaults = std::make_shared<MemoryDefaultsStore>();
    std::shared_ptr<OpenAiCompatibleModel> model = std::make_shared<OpenAiCompatibleModel>();

    explicit Client(const QString& endpoint)
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

} // namespace

#define START(server)                                                                                                  \
    ASSERT_TRUE(server.ready()) << server.failure().toStdString()

// One server for what the client reads of it: its model list (llama-server's own "models" besides
// OpenAI's "data"; no modelName means the first listed), a structured answer the ranking follows
// (order, reason, meanings), and a schema it cannot turn into a grammar, refused with its reason.
TEST(LlamaServerTest, TheModelListAStructuredPickAndARefusedFormatAsTheServerSendsThem)
{
    LlamaServer server(kPick);
    START(server);
    Client client(server.endpoint());
    EXPECT_TRUE(QCoro::waitFor(client.model->isAvailable()));
    const QList<RankedCandidate> ranked = QCoro::waitFor(Ranker::rank("수도", pool(), "감옥의 수도", 3));
    ASSERT_EQ(ranked.size(), 3);
    EXPECT_EQ(ranked[0], (RankedCandidate{pool()[2], "문맥상 죄수.", "죄수"}));
    EXPECT_EQ(ranked[1], (RankedCandidate{pool()[0], "", "서울"}));

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
}

TEST(LlamaServerTest, TypoCleanupOffersTheServersText)
{
    LlamaServer server("어제 학교에 갔습니다.");
    START(server);
    Client client(server.endpoint());
    EXPECT_EQ(QCoro::waitFor(Ranker::cleanTypos("어제 학교에 갔읍니다.", "")), std::optional<QString>("어제 학교에 갔습니다."));
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

    timer.start();
    EXPECT_FALSE(QCoro::waitFor(client.model->isAvailable()));
    // A stopped server answers nothing: the check ends by its own time-out, not by a socket's.
    EXPECT_LE(timer.elapsed(), documented.availability.count() + 2000);
    server.stop();
}
