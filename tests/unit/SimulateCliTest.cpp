#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct CliRun {
    int code = -1;
    QString out;
};

CliRun sorelwick(const QStringList& args, const QString& configDir)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", configDir);
    env.insert("SORELWICK_DATA_DIR", SORELWICK_BUILD_DATA_DIR);
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(SORELWICK_BIN_DIR "/sorelwick"), args);
    process.waitForFinished(30000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
}

} // namespace

TEST(SimulateCliTest, AWholeSessionOnTheEditorInMemory)
{
    QTemporaryDir config;
    CliRun r = sorelwick({"simulate", "대한민국의 수도는 서울이다", "--select", "수도는", "--press", "--pick", "1"},
                      config.path());
    EXPECT_EQ(r.code, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("\"수도\"는 · 빈도순 · 한글(漢字)\n 1. 首都\n"));
    EXPECT_TRUE(r.out.trimmed().endsWith("editor:   대한민국의 수도(首都)는 서울이다")) << r.out.toStdString();

    r = sorelwick({"simulate", "오늘 dkssud 했다", "--select", "dkssud"}, config.path());
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.contains("자판 되돌리기 · \"dkssud\"\n 1. 안녕\n    영문 자판으로 친 한글\n")) << r.out.toStdString();

    r = sorelwick({"simulate", "대한민국의 수도는 서울이다", "--select", "수도는", "--pick", "2", "--alt"}, config.path());
    EXPECT_TRUE(r.out.contains("복사됨 · 修道"));
    EXPECT_TRUE(r.out.trimmed().endsWith("editor:   대한민국의 수도는 서울이다")) << "Alt copies and leaves the text";
    EXPECT_EQ(sorelwick({"history"}, config.path()).out.trimmed(), "0") << "a simulation teaches nothing";

    EXPECT_EQ(sorelwick({"simulate", "본문", "--select", "없는 말"}, config.path()).code, 2);
}
