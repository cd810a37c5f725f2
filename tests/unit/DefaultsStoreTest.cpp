#include "base/JsonDefaultsStore.h"
#include "base/Log.h"
#include "TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QSet>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

const auto readAll = TestSupport::readFile;
const auto writeAll = TestSupport::writeFile;

} // namespace

TEST(DefaultsStoreTest, ValuesPersistAndForeignChangesAreSeen)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("sorelwick/defaults.json");
    const mode_t umaskBefore = ::umask(022);
    {
        JsonDefaultsStore store(path);
        EXPECT_TRUE(store.value("format").isUndefined());
        store.setValue("format", "hanjaOnly");
        store.setValue("hotKeyCode", 4);
        store.remove("hotKeyCode");
    }
    ::umask(umaskBefore);
    // The pick history is nobody else's business.
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    JsonDefaultsStore reader(path);
    EXPECT_EQ(reader.string("format"), "hanjaOnly");
    EXPECT_FALSE(reader.contains("hotKeyCode"));

    // Another process (the user, another instance) edits the file: read at the moment of use.
    writeAll(path, R"({"format": "hanjaParenHangul", "onboardingDone": true, "extra": 1})");
    EXPECT_EQ(reader.string("format"), "hanjaParenHangul");
    EXPECT_TRUE(reader.boolean("onboardingDone"));
    EXPECT_EQ(QDir(dir.filePath("sorelwick")).entryList(QDir::Files),
              (QStringList{"defaults.json", "defaults.json.lock"}))
        << "no temporary files are left";
}

TEST(DefaultsStoreTest, BrokenFileIsKeptAsideAndNothingIsLost)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.json");
    const QByteArray broken = R"({"format": "hanjaOnly", "pickHistory": {"수도)";
    writeAll(path, broken);
    Log::Collector log;
    JsonDefaultsStore store(path, std::chrono::milliseconds(100));
    EXPECT_EQ(store.string("format", "default"), "default");
    EXPECT_TRUE(log.contains("defaults.json"));

    const QStringList aside = QDir(dir.path()).entryList({"defaults.json.broken-*"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readAll(dir.filePath(aside[0])), broken) << "the user's data is kept byte for byte";

    store.setValue("format", "hanjaParenHangul");
    EXPECT_EQ(JsonDefaultsStore(path).string("format"), "hanjaParenHangul");

    // A JSON document that is not an object is no settings file either: once it has stayed so
    // for the settle time, the values in force give way.
    writeAll(path, "[1, 2]");
    const QDeadlineTimer deadline(5000);
    while (!store.value("format").isUndefined() && !deadline.hasExpired()) QThread::msleep(10);
    EXPECT_TRUE(store.value("format").isUndefined());
    EXPECT_EQ(QDir(dir.path()).entryList({"defaults.json.broken-*"}, QDir::Files).size(), 2);
}

// Twenty processes changing the file at once: every change is kept, and so is every key.
TEST(DefaultsStoreTest, ChangesFromManyProcessesAtOnceAreAllKept)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("sorelwick/defaults.json");
    JsonDefaultsStore(path).setValue("format", "hanjaOnly");
    QList<pid_t> children;
    for (int i = 0; i < 20; ++i) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            JsonDefaultsStore store(path);
            for (int n = 0; n < 5; ++n)
                store.update("counter", [](const QJsonValue& v) { return QJsonValue(v.toInt() + 1); });
            store.setValue(QStringLiteral("key%1").arg(i), i);
            _exit(0);
        }
        children.append(child);
    }
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    JsonDefaultsStore store(path);
    EXPECT_EQ(store.integer("counter"), 100);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(store.integer(QStringLiteral("key%1").arg(i)), i) << i;
    EXPECT_EQ(store.string("format"), "hanjaOnly");
}

// An editor that saves in place truncates the file and writes it in pieces, which a busy machine
// can hold far apart. Half a file is no broken file: the values in force stay, a first read waits
// for the whole file, and a change made meanwhile keeps the editor's keys.
TEST(DefaultsStoreTest, AFileBeingRewrittenInPlaceIsNotTakenAsBroken)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.json");
    const QByteArray full = R"({"format": "hanjaOnly", "modelEndpoint": "http://127.0.0.1:8080/v1", "n": 0})";
    writeAll(path, full);
    JsonDefaultsStore inForce(path);
    ASSERT_EQ(inForce.string("format"), "hanjaOnly");

    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_TRUNC);
    ASSERT_EQ(::write(fd, full.constData(), 20), 20);
    EXPECT_EQ(inForce.string("format"), "hanjaOnly");
    auto firstRead = std::async(std::launch::async, [&] { return JsonDefaultsStore(path).string("format"); });
    auto change = std::async(std::launch::async, [&] { return JsonDefaultsStore(path).setValue("meaningStyle", "none"); });
    // The editor's second piece, a while later.
    EXPECT_EQ(firstRead.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);
    ASSERT_EQ(::write(fd, full.constData() + 20, full.size() - 20), full.size() - 20);
    ::close(fd);

    EXPECT_EQ(firstRead.get(), "hanjaOnly");
    EXPECT_TRUE(change.get());
    JsonDefaultsStore reader(path);
    EXPECT_EQ(reader.string("format"), "hanjaOnly");
    EXPECT_EQ(reader.string("modelEndpoint"), "http://127.0.0.1:8080/v1");
    EXPECT_EQ(reader.string("meaningStyle"), "none");
    EXPECT_TRUE(QDir(dir.path()).entryList({"defaults.json.broken-*"}, QDir::Files).isEmpty());
}

// Whatever stands in the file's place that cannot take a new file, the change fails, says why, is
// kept in force for this process, and what is there stays as it was.
TEST(DefaultsStoreTest, AChangeThatCannotBeSavedFailsAndTouchesNothing)
{
    QTemporaryDir dir;
    const struct {
        const char* what;
        std::function<void(const QString& folder, const QString& path)> arrange;
        std::function<bool(const QString& folder, const QString& path)> still; // besides the bytes
    } places[] = {
        {"a folder", [](auto, auto path) { QDir().mkpath(path); }, [](auto, auto path) { return QFileInfo(path).isDir(); }},
        {"a dangling link",
         [](auto, auto path) { EXPECT_EQ(::symlink("nowhere/defaults.json", QFile::encodeName(path).constData()), 0); },
         [](auto folder, auto path) { return QFileInfo(path).isSymLink() && !QFileInfo::exists(folder + "/nowhere"); }},
        // Nobody, root included, can make the folder or the lock file there.
        {"a file in the folder's place", [](auto folder, auto) { QDir().rmdir(folder), writeAll(folder, ""); },
         [](auto folder, auto) { return QFileInfo(folder).isFile(); }},
    };
    for (const auto& place : places) {
        SCOPED_TRACE(place.what);
        const QString folder = dir.filePath(place.what);
        const QString path = folder + "/defaults.json";
        QDir().mkpath(folder);
        place.arrange(folder, path);
        const QByteArray before = readAll(path);
        Log::Collector log;
        JsonDefaultsStore store(path);
        EXPECT_FALSE(store.setValue("format", "hanjaParenHangul"));
        EXPECT_EQ(store.string("format"), "hanjaParenHangul") << "kept for this process";
        EXPECT_TRUE(log.contains("defaults.json")) << "the failure is logged with the file";
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_EQ(readAll(path), before);
        EXPECT_TRUE(!place.still || place.still(folder, path));
    }

    // Through a symbolic link that points somewhere, the target is written and the link stays.
    const QString target = dir.filePath("dotfiles/sorelwick.json");
    QDir().mkpath(dir.filePath("dotfiles"));
    QDir().mkpath(dir.filePath("linked"));
    writeAll(target, R"({"format": "hanjaOnly"})");
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(dir.filePath("linked/defaults.json")).constData()), 0);
    EXPECT_TRUE(JsonDefaultsStore(dir.filePath("linked/defaults.json")).setValue("meaningStyle", "none"));
    EXPECT_TRUE(QFileInfo(dir.filePath("linked/defaults.json")).isSymLink());
    EXPECT_EQ(JsonDefaultsStore(target).string("format"), "hanjaOnly");
    EXPECT_EQ(JsonDefaultsStore(target).string("meaningStyle"), "none");
}

// A FIFO in the file's place would block a plain read until someone writes to it.
TEST(DefaultsStoreTest, OnlyRegularFilesAreRead)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.json");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    Log::Collector log;
    auto read = std::async(std::launch::async, [&path] { return JsonDefaultsStore(path).value("format"); });
    if (read.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
        // Let the blocked reader go, so the test can end.
        const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        ::close(fd);
        read.wait();
        FAIL() << "reading a FIFO blocked";
    }
    EXPECT_TRUE(read.get().isUndefined());
    EXPECT_TRUE(log.contains("defaults.json"));
    EXPECT_FALSE(JsonDefaultsStore(path).setValue("format", "hanjaOnly"));
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "what the user put there stays";
}

// Broken files in quick succession (within one millisecond, too) each get a name of their own.
TEST(DefaultsStoreTest, EveryBrokenFileIsKeptAsideUnderAFreeName)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.json");
    JsonDefaultsStore store(path, std::chrono::milliseconds(0));
    for (int i = 0; i < 30; ++i) {
        writeAll(path, QStringLiteral("{\"broken\": %1").arg(i).toUtf8());
        EXPECT_TRUE(store.value("format").isUndefined());
    }
    const QStringList aside = QDir(dir.path()).entryList({"defaults.json.broken-*"}, QDir::Files);
    ASSERT_EQ(aside.size(), 30);
    QSet<QByteArray> contents;
    for (const QString& name : aside) contents.insert(readAll(dir.filePath(name)));
    EXPECT_EQ(contents.size(), 30) << "no file was written over another";
}
