#include "HttpPeer.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>

#include <qcoro/qcoroprocess.h>

#include <gtest/gtest.h>

namespace {

// The command line in its own config dir; the event loop keeps running while it works, so a
// peer in this process can answer it.
class CommandLine {
public:
    explicit CommandLine(const QJsonObject& defaults)
    {
        QDir().mkpath(m_config.filePath("sorelwick"));
        QFile file(m_config.filePath("sorelwick/defaults.json"));
        file.open(QIODevice::WriteOnly);
        file.write(QJsonDocument(defaults).toJson());
    }

    struct Result {
        int code = -1;
        QString out;
    };
    Result run(const QStringList& args)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", m_config.path());
        env.insert("SORELWICK_DATA_DIR", SORELWICK_BUILD_DATA_DIR);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(SORELWICK_BIN_DIR "/sorelwick"), args);
        QCoro::waitFor(qCoro(process).waitForFinished(std::chrono::milliseconds(20000)));
        return Result{process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
    }
    QJsonObject lookup(const QString& text)
    {
        const Result r = run({"lookup", "--json", text});
        return QJsonDocument::fromJson(r.out.toUtf8()).object();
    }

private:
    QTemporaryDir m_config;
};

QString closedEndpoint()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return QStringLiteral("http://127.0.0.1:%1/v1").arg(probe.serverPort());
}

QStringList primaries(const QJsonObject& lookup)
{
    QStringList out;
    for (const QJsonValue& row : lookup.value("rows").toArray()) out.append(row.toObject().value("primary").toString());
    return out;
}

} // namespace

TEST(LearningCliTest, APickComesFirstOnTheNextLookupAndHistoryCountsAndClears)
{
    CommandLine cli({{"modelEndpoint", closedEndpoint()}});
    const QJsonObject before = cli.lookup("수도를");
    EXPECT_TRUE(before.value("header").toString().contains(" · 빈도순 · "));
    const QStringList order = primaries(before);
    ASSERT_GE(order.size(), 3);

    const CommandLine::Result picked = cli.run({"lookup", "--pick", "3", "수도를"});
    EXPECT_EQ(picked.code, 0);
    EXPECT_EQ(picked.out, "수도(" + order[2] + ")를\n");
    const QStringList after = primaries(cli.lookup("수도"));
    EXPECT_EQ(after.first(), order[2]);
    EXPECT_EQ(after.size(), order.size());
    EXPECT_EQ(cli.run({"history"}).out, "1\n");

    EXPECT_EQ(cli.run({"history", "--clear"}).out, "0\n");
    EXPECT_EQ(primaries(cli.lookup("수도")), order);
    EXPECT_NE(cli.run({"lookup", "--pick", "99", "수도"}).code, 0);
    EXPECT_EQ(cli.run({"history"}).out, "0\n");
}

TEST(LearningCliTest, WithAModelTheHeaderSaysAIAndItsChoiceLeads)
{
    HttpPeer peer;
    peer.listModels();
    peer.always("POST /v1/chat/completions",
                HttpPeer::chatJson(QJsonObject{{"indices", QJsonArray{6, 0}},
                                               {"reason", "물을 대는 시설."},
                                               {"meanings", QJsonArray{"물길 시설", "중앙 도시"}}}));
    CommandLine cli({{"modelEndpoint", peer.endpoint()}, {"meaningStyle", "summary"}});
    const QJsonObject plain = CommandLine({{"modelEndpoint", closedEndpoint()}}).lookup("수도");
    const QJsonObject ranked = cli.lookup("수도");
    EXPECT_TRUE(ranked.value("header").toString().contains(" · AI · "));
    const QStringList order = primaries(ranked);
    const QStringList dictionary = primaries(plain);
    ASSERT_GE(dictionary.size(), 7);
    EXPECT_EQ(order.mid(0, 3), (QStringList{dictionary[6], dictionary[0], dictionary[1]}));
    EXPECT_EQ(order.size(), dictionary.size());
    EXPECT_EQ(ranked.value("rows").toArray()[0].toObject().value("secondary").toString(), "물길 시설");

    // With a model, its first choice stays first even over a learned pick.
    EXPECT_EQ(cli.run({"lookup", "--pick", "3", "수도"}).code, 0);
    EXPECT_EQ(primaries(cli.lookup("수도")).mid(0, 3), (QStringList{dictionary[6], dictionary[1], dictionary[0]}));
}
