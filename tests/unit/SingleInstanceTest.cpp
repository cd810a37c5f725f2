#include "app/SingleInstance.h"

#include "base/Log.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <future>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using Request = SingleInstance::Request;
using Role = SingleInstance::Role;

// Runs the event loop until the future is ready or the deadline passes; the primary answers
// from this loop while the client blocks on its own thread.
template <typename T>
T awaitOnLoop(std::future<T>& future, int ms = 5000)
{
    QDeadlineTimer deadline(ms);
    while (future.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(future.wait_for(std::chrono::milliseconds(0)), std::future_status::ready);
    return future.get();
}

mode_t modeOf(const QString& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st.st_mode & 0777;
}

// The requests an instance received.
struct Received {
    explicit Received(SingleInstance& instance)
    {
        QObject::connect(&instance, &SingleInstance::requested, [this](Request r) { requests << r; });
    }
    QList<Request> requests;
};

class SingleInstanceTest : public ::testing::Test {
protected:
    QTemporaryDir runtime;
    QString folder() const { return runtime.filePath(QStringLiteral("sorelwick")); }
};

// The desktop entry's action; --trigger, --settings and --quit are handed over by LauncherTest,
// --onboarding end to end.
TEST(SingleInstanceRequest, TheAboutOptionIsARequest)
{
    EXPECT_EQ(SingleInstance::fromOption(QStringLiteral("--about")), Request::about);
}

TEST_F(SingleInstanceTest, FirstIsPrimaryAndASecondHandsItsRequestOver)
{
    SingleInstance first(folder());
    ASSERT_EQ(first.claim(), Role::primary);
    ASSERT_TRUE(first.listen());
    EXPECT_EQ(modeOf(folder()), 0700u);
    EXPECT_EQ(modeOf(first.socketPath()), 0600u);
    Received received(first);

    // --settings and --trigger go the same way from LauncherTest's processes.
    SingleInstance second(folder());
    EXPECT_EQ(second.claim(), Role::secondary);
    auto sent = std::async(std::launch::async, [&] { return second.send(Request::quit); });
    EXPECT_TRUE(awaitOnLoop(sent));
    QDeadlineTimer deadline(2000);
    while (received.requests.isEmpty() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(received.requests, QList<Request>{Request::quit});
}

TEST_F(SingleInstanceTest, AnythingElseOnTheSocketIsRefused)
{
    SingleInstance first(folder());
    ASSERT_EQ(first.claim(), Role::primary);
    ASSERT_TRUE(first.listen());
    Received received(first);
    SingleInstance client(folder());
    const QByteArray lines[] = {"rm -rf ~\n", "TRIGGER\n", "trigger \n", "\n", QByteArray(600, 'x'),
                                QByteArray("trigger\0x\n", 10),
                                // Token fields: known names, once each, printable and not empty.
                                "trigger\tXDG_ACTIVATION_TOKEN=\n", "trigger\tHOME=/root\n",
                                "trigger\tDESKTOP_STARTUP_ID=a b\n", "trigger\tDESKTOP_STARTUP_ID=a\tDESKTOP_STARTUP_ID=b\n",
                                "trigger\tXDG_ACTIVATION_TOKEN=" + QByteArray(201, 'x') + "\n"};
    for (const QByteArray& line : lines) {
        auto answer = std::async(std::launch::async, [&] { return client.sendLine(line); });
        EXPECT_EQ(awaitOnLoop(answer), "refused") << line.toStdString();
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(received.requests.isEmpty());
}

TEST_F(SingleInstanceTest, TheLockGoesWithItsHolderAndAStaleSocketIsReplaced)
{
    {
        SingleInstance first(folder());
        ASSERT_EQ(first.claim(), Role::primary);
    }
    // A process that died without cleaning up leaves its socket file behind.
    const QString stale = folder() + QStringLiteral("/instance.socket");
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr {};
        addr.sun_family = AF_UNIX;
        const QByteArray p = QFile::encodeName(stale);
        std::memcpy(addr.sun_path, p.constData(), size_t(p.size()));
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ::close(fd);
    }
    SingleInstance next(folder());
    ASSERT_EQ(next.claim(), Role::primary);
    ASSERT_TRUE(next.listen());
    SingleInstance client(folder());
    auto sent = std::async(std::launch::async, [&] { return client.send(Request::about); });
    EXPECT_TRUE(awaitOnLoop(sent));
}

TEST_F(SingleInstanceTest, APrimaryThatNeverListensLetsTheSenderGiveUpInTime)
{
    SingleInstance first(folder());
    ASSERT_EQ(first.claim(), Role::primary);
    SingleInstance second(folder());
    ASSERT_EQ(second.claim(), Role::secondary);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(second.send(Request::trigger, {}, 300));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(2000));
}

TEST_F(SingleInstanceTest, AFolderOthersCanEnterIsTightenedAndAnUnsafeOneRefused)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    for (mode_t mode : {0755, 0500}) {
        ::chmod(QFile::encodeName(folder()).constData(), mode);
        SingleInstance first(folder());
        EXPECT_EQ(first.claim(), Role::primary);
        EXPECT_EQ(modeOf(folder()), 0700u);
    }

    // A plain file is no folder; links and other users' folders stop every start (LauncherTest).
    const QString file = runtime.filePath(QStringLiteral("file"));
    QFile(file).open(QIODevice::WriteOnly);
    Log::Collector log;
    EXPECT_EQ(SingleInstance(file).claim(), Role::unavailable);
    EXPECT_TRUE(TestSupport::logNames(log, {file}));
}

// Callers that connect and never write hold a descriptor each; 1,030 of them used to exhaust a
// desktop's 1,024 and the failed accept closed the listener for good.
TEST_F(SingleInstanceTest, IdleConnectionsPastTheDescriptorLimitLeaveItAnswering)
{
    SingleInstance first(folder());
    ASSERT_EQ(first.claim(), Role::primary);
    ASSERT_TRUE(first.listen());
    // A limit the idle callers would exceed many times over: what is open now and some room.
    rlimit before {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &before), 0);
    const rlim_t open = rlim_t(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size());
    rlimit lowered = before;
    lowered.rlim_cur = open + SingleInstance::kMaxClients + 40;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &lowered), 0);

    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const QByteArray path = QFile::encodeName(first.socketPath());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The callers: their own process with room for them all.
        ::close(ready[0]);
        ::close(release[1]);
        rlimit room = before;
        room.rlim_cur = std::min<rlim_t>(before.rlim_max, 4096);
        ::setrlimit(RLIMIT_NOFILE, &room);
        sockaddr_un addr {};
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path, path.constData(), size_t(path.size()));
        for (int i = 0; i < 1030; ++i) {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            if (fd >= 0) ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        }
        char c = 1;
        [[maybe_unused]] auto w = ::write(ready[1], &c, 1);
        [[maybe_unused]] auto r = ::read(release[0], &c, 1);
        _exit(0);
    }
    ::close(ready[1]);
    ::close(release[0]);
    pollfd p {ready[0], POLLIN, 0};
    QDeadlineTimer deadline(60000);
    while (::poll(&p, 1, 0) == 0 && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(deadline.hasExpired()) << "the callers could not connect";

    SingleInstance client(folder());
    for (Request r : {Request::about, Request::trigger}) {
        auto sent = std::async(std::launch::async, [&] { return client.send(r, {}, 10000); });
        EXPECT_TRUE(awaitOnLoop(sent, 15000)) << SingleInstance::name(r).toStdString();
    }
    ::close(release[1]);
    ::close(ready[0]);
    ::waitpid(child, nullptr, 0);
    ::setrlimit(RLIMIT_NOFILE, &before);
}

// A cleaner of the runtime folder removes it while Sorelwick runs: the socket and the lock come
// back, so later starts still reach this one instead of becoming a second.
TEST_F(SingleInstanceTest, ARemovedFolderIsMadeAgainWithItsSocketAndLock)
{
    SingleInstance first(folder());
    ASSERT_EQ(first.claim(), Role::primary);
    ASSERT_TRUE(first.listen());
    QDir(folder()).removeRecursively();

    SingleInstance client(folder());
    QDeadlineTimer deadline(10000);
    bool answered = false;
    while (!answered && !deadline.hasExpired()) {
        auto sent = std::async(std::launch::async, [&] { return client.send(Request::about, {}, 200); });
        answered = awaitOnLoop(sent);
    }
    EXPECT_TRUE(answered);
    EXPECT_EQ(SingleInstance(folder()).claim(), Role::secondary);
    EXPECT_EQ(modeOf(folder()), 0700u);
}

} // namespace
