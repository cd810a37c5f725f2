// The command line as a user runs it: its own process, its own config dir, the built data.

#include "HttpPeer.h"

#include "core/SyllableCompose.h"

#include <QDateTime>
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
        QString err;
    };
    Result run(const QStringList& args)
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", m_config.path());
        env.insert("XDG_DATA_HOME", m_config.path());
        env.insert("SORELWICK_DATA_DIR", SORELWICK_BUILD_DATA_DIR);
        process.setProcessEnvironment(env);
        if (!m_outputFile.isEmpty()) process.setStandardOutputFile(m_outputFile);
        process.start(QStringLiteral(SORELWICK_BIN_DIR "/sorelwick"), args);
        QCoro::waitFor(qCoro(process).waitForFinished(std::chrono::milliseconds(60000)));
        const bool finished = process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit;
        return Result{finished ? process.exitCode() : -1, QString::fromUtf8(process.readAllStandardOutput()),
                      QString::fromUtf8(process.readAllStandardError())};
    }
    QString out(const QStringList& args) { return run(args).out; }
    // Standard output goes to this file from now on.
    void sendOutputTo(const QString& path) { m_outputFile = path; }
    QString defaultsPath() const { return m_config.filePath("sorelwick/defaults.json"); }
    QJsonObject defaults() const
    {
        QFile file(defaultsPath());
        file.open(QIODevice::ReadOnly);
        return QJsonDocument::fromJson(file.readAll()).object();
    }
    QJsonObject lookup(const QString& text)
    {
        const Result r = run({"lookup", "--json", text});
        return QJsonDocument::fromJson(r.out.toUtf8()).object();
    }

private:
    QTemporaryDir m_config;
    QString m_outputFile;
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
    const QStringList order = primaries(before);
    ASSERT_GE(order.size(), 3);

    const double start = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    const CommandLine::Result picked = cli.run({"lookup", "--pick", "3", "수도를"});
    const double end = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    EXPECT_EQ(picked.code, 0);
    EXPECT_EQ(picked.out, "수도(" + order[2] + ")를\n");
    // Stamped with the time it was made, so the latest pick of a word comes first.
    const double stamp = cli.defaults().value("pickHistory").toObject().value("수도\t" + order[2]).toArray().at(1).toDouble();
    EXPECT_GE(stamp, start - 1);
    EXPECT_LE(stamp, end + 1);
    const QStringList after = primaries(cli.lookup("수도"));
    EXPECT_EQ(after.first(), order[2]);
    EXPECT_EQ(after.size(), order.size());
    EXPECT_EQ(cli.out({"history"}), "1\n");

    EXPECT_EQ(cli.out({"history", "--clear"}), "0\n");
    EXPECT_EQ(primaries(cli.lookup("수도")), order);
    EXPECT_NE(cli.run({"lookup", "--pick", "99", "수도"}).code, 0);
    EXPECT_EQ(cli.out({"history"}), "0\n");
}

// When the pick cannot be saved, the replacement is still shown, but the command says the pick
// was not learned and exits 1.
TEST(LearningCliTest, APickThatCannotBeSavedExitsOneAndSaysWhy)
{
    CommandLine cli({{"modelEndpoint", closedEndpoint()}});
    const QString path = cli.defaultsPath();
    QFile::remove(path);
    QDir().mkpath(path);
    CommandLine::Result r = cli.run({"lookup", "--pick", "2", "수도"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.startsWith("수도("));
    EXPECT_TRUE(r.err.contains("not saved")) << r.err.toStdString();
    EXPECT_TRUE(r.err.contains("not a regular file")) << r.err.toStdString();
    EXPECT_EQ(cli.run({"history", "--clear"}).code, 1);
    r = cli.run({"history"});
    EXPECT_EQ(r.code, 1) << "no count of a history that could not be read";
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    EXPECT_TRUE(r.err.contains("not a regular file")) << r.err.toStdString();
}

// After "--" every argument is text to look up, also one that looks like an option.
TEST(LearningCliTest, TextAfterTwoDashesIsLookedUpEvenWhenItReadsAsAnOption)
{
    CommandLine cli({{"modelEndpoint", closedEndpoint()}});
    const CommandLine::Result r = cli.run({"lookup", "--json", "--", "--help"});
    EXPECT_EQ(QJsonDocument::fromJson(r.out.toUtf8()).object().value("text").toString(), "--help") << r.out.toStdString();
    EXPECT_TRUE(cli.run({"lookup", "--help"}).out.startsWith("usage: sorelwick lookup"));
}

// Output that does not arrive (a full disk) fails the command, and says so, rather than passing
// as a success that printed nothing.
TEST(OutputCliTest, OutputThatCannotBeWrittenIsAFailure)
{
    CommandLine cli({{"modelEndpoint", closedEndpoint()}});
    cli.sendOutputTo("/dev/full");
    const QList<QStringList> commands = {{"lookup", "수도"}, {"lookup", "--pick", "1", "수도"}, {"history"},
                                         {"fix", "dkssud"}, {"--version"}, {"--help"}};
    for (const QStringList& args : commands) {
        const CommandLine::Result r = cli.run(args);
        EXPECT_EQ(r.code, 3) << args.join(' ').toStdString();
        EXPECT_TRUE(r.err.startsWith("sorelwick: could not write the output: ")) << r.err.toStdString();
    }
    // A command that printed nothing keeps its own exit code.
    EXPECT_EQ(cli.run({"fix", "안녕"}).code, 1);
    EXPECT_EQ(cli.run({"lookup"}).code, 2);
}

TEST(LayoutFixCli, fixPrintsTheOfferAndALookupCutsItsHeader)
{
    CommandLine cli({{"modelEndpoint", closedEndpoint()}});
    EXPECT_EQ(cli.out({"fix", "dkssud"}), "안녕\n영문 자판으로 친 한글\n");
    EXPECT_EQ(cli.out({"fix", "ㅗ디ㅣㅐ", "재깅"}), "hello world\n한글 자판으로 친 영문\n");

    // A lookup's header shows the trimmed selection, cut for display.
    EXPECT_TRUE(cli.out({"lookup", "  dkssuddkssuddkssuddkssudx\n"}).startsWith("자판 되돌리기 · \"dkssuddkssuddkssuddkssud…\"\n"));
    EXPECT_TRUE(cli.out({"lookup", "  dkssuddkssuddkssuddkssud\n"}).startsWith("자판 되돌리기 · \"dkssuddkssuddkssuddkssud\"\n"));
}

TEST(LayoutFixCli, theCleanupOfferIsForSpaceSeparatedWordsAndPickingItCleansUp)
{
    HttpPeer peer;
    peer.listModels();
    peer.always("POST /v1/chat/completions", HttpPeer::chatAnswer("안녕하세요"));
    CommandLine cli({{"modelEndpoint", peer.endpoint()}});
    // Words split only by a line break are one piece: no offer.
    EXPECT_EQ(cli.lookup("dkssud\ngktpdy").value("rows").toArray().size(), 1);
    // Picking the offer runs the cleanup on the text as selected.
    const CommandLine::Result picked = cli.run({"lookup", "--pick", "2", "dkssud gktpdy"});
    EXPECT_EQ(picked.code, 0);
    EXPECT_EQ(picked.out, "안녕하세요\n");
}

TEST(SimulateCliTest, AWholeSessionOnTheEditorInMemory)
{
    CommandLine cli({{"modelEndpoint", closedEndpoint()}});
    const QStringList session = {"simulate", "대한민국의 수도는 서울이다", "--select", "수도는"};
    CommandLine::Result r = cli.run(session + QStringList{"--press", "--pick", "1"});
    EXPECT_EQ(r.code, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("\"수도\"는 · 빈도순 · 한글(漢字)\n 1. 首都\n"));
    EXPECT_TRUE(r.out.trimmed().endsWith("editor:   대한민국의 수도(首都)는 서울이다")) << r.out.toStdString();

    r = cli.run({"simulate", "오늘 dkssud 했다", "--select", "dkssud"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains("자판 되돌리기 · \"dkssud\"\n 1. 안녕\n    영문 자판으로 친 한글\n")) << r.out.toStdString();

    r = cli.run(session + QStringList{"--pick", "2", "--alt"});
    EXPECT_TRUE(r.out.contains("복사됨 · 修道"));
    EXPECT_TRUE(r.out.trimmed().endsWith("editor:   대한민국의 수도는 서울이다")) << "Alt copies and leaves the text";
    EXPECT_EQ(cli.out({"history"}), "0\n") << "a simulation teaches nothing";

    EXPECT_EQ(cli.run({"simulate", "본문", "--select", "없는 말"}).code, 2);
}

// 범용 as 汎用, which the dictionary lacks: refused with a wrong character, composed and kept.
TEST(WordsCliTest, AComposedWordIsKeptExportedAndImported)
{
    CommandLine cli({{"modelEndpoint", closedEndpoint()}});
    EXPECT_EQ(cli.run({"words", "add", "범용", "汎水"}).code, 2);

    // The rows of 汎 and 用 in their syllables' steps.
    HanjaDictionary dictionary{QStringLiteral(SORELWICK_BUILD_DATA_DIR)};
    const auto rowOf = [&](qsizetype syllable, const QString& hanja) {
        const QList<SyllableCompose::Choice> choices = SyllableCompose::choicesFor("범용", syllable, dictionary);
        for (qsizetype i = 0; i < std::min<qsizetype>(choices.size(), 9); ++i)
            if (choices[i].hanja == hanja) return i + 1;
        return qsizetype(0);
    };
    const qsizetype bum = rowOf(0, "汎"), yong = rowOf(1, "用");
    ASSERT_TRUE(bum > 0 && yong > 0) << "each among the first nine of its syllable";
    const CommandLine::Result composed = cli.run({"lookup", "--compose", QStringLiteral("%1,%2").arg(bum).arg(yong), "범용을"});
    EXPECT_EQ(composed.code, 0) << composed.err.toStdString();
    EXPECT_EQ(composed.out, "범용(汎用)을\n");
    EXPECT_TRUE(cli.out({"words"}).startsWith("범용\t汎用\t")) << cli.out({"words"}).toStdString();

    QTemporaryDir dir;
    const QString file = dir.filePath("words.txt");
    EXPECT_EQ(cli.run({"words", "--export", file}).code, 0);
    EXPECT_EQ(cli.run({"words", "remove", "범용", "汎用"}).code, 0);
    EXPECT_EQ(cli.out({"words"}), "");
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("# 손으로 적은 줄\n범용:汎用:\n범용:水\nnot a line\n");
    f.close();
    const CommandLine::Result imported = cli.run({"words", "--import", file});
    EXPECT_EQ(imported.out, "taken 1, duplicates 1, malformed 2\nfirst refused: 범용:水 (글자 수가 맞지 않습니다: 범용은(는) 2자, 水은(는) 1자)\n");
}
