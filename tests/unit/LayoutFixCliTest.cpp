#include "HttpPeer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <qcoro/qcoroprocess.h>

#include <gtest/gtest.h>

namespace {

using namespace Qt::StringLiterals;

struct Result {
    int code = -1;
    QString out;
    QString err;
};

// The program with its own config dir, pointed at the given model endpoint; the event loop keeps
// running while it works, so a peer in this process can answer it.
Result run(const QString& endpoint, const QStringList& args)
{
    QTemporaryDir config;
    QDir().mkpath(config.filePath(u"sorelwick"_s));
    QFile file(config.filePath(u"sorelwick/defaults.json"_s));
    file.open(QIODevice::WriteOnly);
    file.write(QJsonDocument(QJsonObject {{u"modelEndpoint"_s, endpoint}}).toJson());
    file.close();

    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_CONFIG_HOME"_s, config.path());
    env.insert(u"SORELWICK_DATA_DIR"_s, QStringLiteral(SORELWICK_BUILD_DATA_DIR));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(SORELWICK_BIN_DIR "/sorelwick"), args);
    QCoro::waitFor(qCoro(process).waitForFinished(std::chrono::milliseconds(20000)));
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QString closedEndpoint()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return QStringLiteral("http://127.0.0.1:%1/v1").arg(probe.serverPort());
}

TEST(LayoutFixCli, fixPrintsTheOfferOrNothing)
{
    const QString none = closedEndpoint();
    EXPECT_EQ(run(none, {u"fix"_s, u"dkssud"_s}).out, u"안녕\n영문 자판으로 친 한글\n"_s);
    EXPECT_EQ(run(none, {u"fix"_s, u"ㅗ디ㅣㅐ"_s}).out, u"hello\n한글 자판으로 친 영문\n"_s);
    EXPECT_EQ(run(none, {u"fix"_s, u"dkssud gktpdy"_s}).out, u"안녕 하세요\n영문 자판으로 친 한글\n"_s);
    EXPECT_EQ(run(none, {u"fix"_s, u"dkssud"_s, u"gktpdy"_s}).out, u"안녕 하세요\n영문 자판으로 친 한글\n"_s);

    const Result nothing = run(none, {u"fix"_s, u"안녕"_s});
    EXPECT_EQ(nothing.code, 1);
    EXPECT_TRUE(nothing.out.isEmpty());
    EXPECT_FALSE(nothing.err.isEmpty());
    EXPECT_EQ(run(none, {u"fix"_s}).code, 2);
}

TEST(LayoutFixCli, lookupHeaderShowsTheTrimmedSelectionCut)
{
    const QString none = closedEndpoint();
    // The header shows the trimmed selection, cut for display.
    const Result cut = run(none, {u"lookup"_s, u"  dkssuddkssuddkssuddkssudx\n"_s});
    EXPECT_TRUE(cut.out.startsWith(u"자판 되돌리기 · \"dkssuddkssuddkssuddkssud…\"\n"_s)) << cut.out.toStdString();
    const Result whole = run(none, {u"lookup"_s, u"  dkssuddkssuddkssuddkssud\n"_s});
    EXPECT_TRUE(whole.out.startsWith(u"자판 되돌리기 · \"dkssuddkssuddkssuddkssud\"\n"_s)) << whole.out.toStdString();
}

TEST(LayoutFixCli, theCleanupOfferIsForSpaceSeparatedWordsAndPickingItCleansUp)
{
    HttpPeer peer;
    peer.listModels();
    peer.always("POST /v1/chat/completions", HttpPeer::chatAnswer(u"안녕하세요"_s));

    // Words split only by a line break are one piece: no offer.
    const Result lineBreak = run(peer.endpoint(), {u"lookup"_s, u"--json"_s, u"dkssud\ngktpdy"_s});
    EXPECT_EQ(QJsonDocument::fromJson(lineBreak.out.toUtf8()).object().value(u"rows"_s).toArray().size(), 1);

    // Picking the offer runs the cleanup on the text as selected.
    const Result picked = run(peer.endpoint(), {u"lookup"_s, u"--pick"_s, u"2"_s, u"dkssud gktpdy"_s});
    EXPECT_EQ(picked.code, 0);
    EXPECT_EQ(picked.out, u"안녕하세요\n"_s);
}

} // namespace
