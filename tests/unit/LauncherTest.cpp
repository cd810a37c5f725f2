// `sorelwick` with no command or with one of the hand-over options, as separate processes: the
// program hands its request to the one that runs (here the test holds that place) and exits; with
// nobody running and no display it says so and exits 1. No display is needed.

#include "app/SingleInstance.h"
#include "platform/Activation.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using Request = SingleInstance::Request;

class LauncherTest : public ::testing::Test {
protected:
    QTemporaryDir runtime;

    // Starts the program without a display, with our runtime folder; runs the event loop (where
    // a primary held by the test answers) until it ends.
    int runSorelwick(const QStringList& args, QString* errors = nullptr, const QStringList& extraEnv = {})
    {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("XDG_ACTIVATION_TOKEN"));
        env.remove(QStringLiteral("DESKTOP_STARTUP_ID"));
        for (const QString& pair : extraEnv) env.insert(pair.section('=', 0, 0), pair.section('=', 1));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(SORELWICK_BIN_DIR "/sorelwick"), args);
        QDeadlineTimer deadline(10000);
        while (process.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            process.waitForFinished(5);
        }
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished();
            ADD_FAILURE() << "sorelwick did not end";
            return -1;
        }
        if (errors) *errors = QString::fromUtf8(process.readAllStandardError());
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }
};

TEST_F(LauncherTest, ALaterStartHandsItsOptionToTheRunningOneAndEnds)
{
    SingleInstance running(runtime.filePath(QStringLiteral("sorelwick")));
    ASSERT_EQ(running.claim(), SingleInstance::Role::primary);
    ASSERT_TRUE(running.listen());
    QList<Request> received;
    QList<Activation> activations;
    QObject::connect(&running, &SingleInstance::requested, [&](Request r, const Activation& a) {
        received << r;
        activations << a;
    });

    EXPECT_EQ(runSorelwick({QStringLiteral("--settings")}), 0);
    // The desktop's tokens travel with the press, for the panel to take the focus with.
    EXPECT_EQ(runSorelwick({QStringLiteral("--trigger")}, nullptr,
                           {QStringLiteral("XDG_ACTIVATION_TOKEN=7f3a-01"), QStringLiteral("DESKTOP_STARTUP_ID=x_TIME42")}),
              0);
    QDeadlineTimer deadline(2000);
    while (received.size() < 2 && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(received, (QList<Request>{Request::settings, Request::trigger}));
    EXPECT_EQ(activations, (QList<Activation>{Activation{}, Activation{"7f3a-01", "x_TIME42"}}));

    // A plain second start (the applications menu) opens the running one's settings.
    QString errors;
    EXPECT_EQ(runSorelwick({}, &errors), 0);
    EXPECT_TRUE(errors.contains(QStringLiteral("already runs"))) << errors.toStdString();
    deadline.setRemainingTime(2000);
    while (received.size() < 3 && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(received, (QList<Request>{Request::settings, Request::trigger, Request::settings}));
}

TEST_F(LauncherTest, WithNobodyRunningAndNoDisplayItSaysSoAndExitsOne)
{
    for (const QStringList& args : {QStringList{}, QStringList{QStringLiteral("--trigger")}}) {
        QString errors;
        EXPECT_EQ(runSorelwick(args, &errors), 1) << args.join(' ').toStdString();
        EXPECT_TRUE(errors.contains(QStringLiteral("DISPLAY")) && errors.contains(QStringLiteral("WAYLAND_DISPLAY")))
            << errors.toStdString();
    }
    // Nothing to end is no failure.
    QString errors;
    EXPECT_EQ(runSorelwick({QStringLiteral("--quit")}, &errors), 0);
    EXPECT_TRUE(errors.contains(QStringLiteral("not running"))) << errors.toStdString();
    // Anything else is the command line, which needs no display.
    EXPECT_EQ(runSorelwick({QStringLiteral("fix"), QStringLiteral("dkssud")}), 0);
    EXPECT_EQ(runSorelwick({QStringLiteral("--bogus")}), 2);
}

// A desktop shortcut starts `sorelwick --trigger` for every press: the hand-over is to load no
// more than the C library (the full program maps some 70 libraries, tens of milliseconds).
TEST_F(LauncherTest, TheHandOverProgramLoadsNoQt)
{
    QProcess trace;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_TRACE_LOADED_OBJECTS"), QStringLiteral("1"));
    trace.setProcessEnvironment(env);
    trace.start(QStringLiteral(SORELWICK_BIN_DIR "/sorelwick"), {QStringLiteral("--trigger")});
    ASSERT_TRUE(trace.waitForFinished(10000));
    const QString loaded = QString::fromUtf8(trace.readAllStandardOutput());
    EXPECT_TRUE(loaded.contains(QStringLiteral("libc.so"))) << loaded.toStdString();
    EXPECT_FALSE(loaded.contains(QStringLiteral("libQt6"))) << loaded.toStdString();
}

// A runtime folder that is not the user's own (a link to elsewhere; another user's, made first):
// no start runs beside an unreachable one, and each says why.
TEST_F(LauncherTest, AFolderNotItsOwnStopsEveryStartAndSaysWhy)
{
    const QString folder = runtime.filePath(QStringLiteral("sorelwick"));
    ASSERT_TRUE(QDir().mkpath(runtime.filePath(QStringLiteral("elsewhere"))));
    ASSERT_TRUE(QFile::link(runtime.filePath(QStringLiteral("elsewhere")), folder));
    QList<bool> foreign{false};
    if (::geteuid() == 0) foreign << true;
    for (bool byAnotherUser : foreign) {
        if (byAnotherUser) {
            QFile::remove(folder);
            ASSERT_TRUE(QDir().mkpath(folder));
            ASSERT_EQ(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
        }
        for (const QStringList& args : {QStringList{}, QStringList{QStringLiteral("--trigger")}}) {
            QString errors;
            EXPECT_EQ(runSorelwick(args, &errors), 1);
            EXPECT_TRUE(errors.contains(folder)) << errors.toStdString();
        }
    }
}

} // namespace
