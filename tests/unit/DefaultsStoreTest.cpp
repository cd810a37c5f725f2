#include "base/JsonDefaultsStore.h"
#include "base/Log.h"
#include "TestSupport.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QSet>
#include <QThread>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <future>
#include <grp.h>
#include <sys/stat.h>

namespace {

const auto readAll = TestSupport::readFile;
const auto writeAll = TestSupport::writeFile;
const auto kReadOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
const auto kReadWrite = kReadOnly | QFile::WriteOwner;

QJsonObject onDisk(const QString& path) { return QJsonDocument::fromJson(readAll(path)).object(); }

// Another program (an editor, another Sorelwick process) writes the file in place.
void writeByHand(const QString& path, const QByteArray& bytes)
{
    // The owner's bits only: Qt would set the "user" ones (the caller's access) as the owner's.
    const bool existed = QFile::exists(path);
    const QFile::Permissions mode = QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    if (existed) QFile::setPermissions(path, mode | QFile::WriteOwner);
    ASSERT_TRUE(writeAll(path, bytes));
    if (existed) QFile::setPermissions(path, mode);
}

// Root passes every permission check: the child becomes nobody, owning the folder.
bool asNobody(const QString& folder)
{
    constexpr uid_t nobody = 65534;
    return ::chown(QFile::encodeName(folder).constData(), nobody, nobody) == 0 && ::setgroups(0, nullptr) == 0
        && ::setgid(nobody) == 0 && ::setuid(nobody) == 0;
}

} // namespace

// A new file is the user's alone (the pick history is nobody else's business), and a write leaves
// nothing beside it but its lock.
TEST(DefaultsStoreTest, ANewFileIsTheUsersAloneAndNothingIsLeftBeside)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("sorelwick/defaults.json");
    const mode_t umaskBefore = ::umask(022);
    EXPECT_TRUE(JsonDefaultsStore(path).setValue("format", "hanjaOnly"));
    ::umask(umaskBefore);
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(QDir(dir.filePath("sorelwick")).entryList(QDir::Files),
              (QStringList{"defaults.json", "defaults.json.lock"}));
}

// A file that does not parse, once it has stayed so for the settle time, is kept aside byte for
// byte and the values in force give way; the next change writes a new file.
TEST(DefaultsStoreTest, BrokenFileIsKeptAsideAndNothingIsLost)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.json");
    JsonDefaultsStore store(path, std::chrono::milliseconds(100));
    ASSERT_TRUE(store.setValue("format", "hanjaOnly"));
    const QByteArray broken = R"({"format": "hanjaOnly", "pickHistory": {"수도)";
    writeAll(path, broken);
    const QDeadlineTimer deadline(5000);
    while (!store.value("format").isUndefined() && !deadline.hasExpired()) QThread::msleep(10);
    EXPECT_TRUE(store.value("format").isUndefined());

    const QStringList aside = QDir(dir.path()).entryList({"defaults.json.broken-*"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readAll(dir.filePath(aside[0])), broken) << "the user's data is kept byte for byte";
    EXPECT_TRUE(store.setValue("format", "hanjaParenHangul"));
    EXPECT_EQ(JsonDefaultsStore(path).string("format"), "hanjaParenHangul");
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
            // A change that waited past the lock's wait (a busy machine) stays and goes with the next.
            for (int tries = 0; store.holdsUnsaved() && tries < 20; ++tries)
                store.setValue(QStringLiteral("key%1").arg(i), i);
            _exit(store.holdsUnsaved() ? 1 : 0);
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

// Settings that cannot be written: what the user changed stays in force until it can be saved,
// and a file that cannot be fixed is not read over and over.

// The store refuses a file without write permission for every user, root included.
TEST(DefaultsStoreFailureTest, UnsavedChangesStayInForceUntilOneWriteSavesThemAll)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.json");
    writeByHand(path, R"({"format": "hangulParenHanja", "meaningStyle": "gloss", "pickHistory": {"a\tA": [1, 1]}})");
    QFile::setPermissions(path, kReadOnly);
    JsonDefaultsStore store(path);
    Log::Collector log;

    EXPECT_FALSE(store.setValue("format", "hanjaOnly"));
    EXPECT_FALSE(store.setValue("meaningStyle", "none"));
    EXPECT_FALSE(store.remove("pickHistory"));
    EXPECT_EQ(store.string("format"), "hanjaOnly") << "a later failed change keeps the earlier one";
    EXPECT_EQ(store.string("meaningStyle"), "none");
    EXPECT_FALSE(store.contains("pickHistory"));
    EXPECT_TRUE(log.contains("defaults.json"));
    EXPECT_TRUE(store.holdsUnsaved());

    // A change made elsewhere to another key is seen, under the changes made here.
    writeByHand(path, R"({"format": "hangulParenHanja", "modelName": "other", "pickHistory": {"a\tA": [1, 1]}})");
    EXPECT_EQ(store.string("modelName"), "other");
    EXPECT_EQ(store.string("format"), "hanjaOnly");
    EXPECT_FALSE(store.contains("pickHistory"));

    // Asked not to be kept: the change is undone, the earlier ones stay.
    EXPECT_FALSE(store.setValue("meaningStyle", "summary", DefaultsStore::Unsaved::drop));
    EXPECT_EQ(store.string("meaningStyle"), "none");

    // The first write that succeeds carries them all.
    QFile::setPermissions(path, kReadWrite);
    EXPECT_TRUE(store.setValue("hotKeyCode", 38));
    EXPECT_EQ(onDisk(path), (QJsonObject{{"format", "hanjaOnly"}, {"meaningStyle", "none"}, {"modelName", "other"},
                                         {"hotKeyCode", 38}}));
    EXPECT_FALSE(store.holdsUnsaved());
    writeByHand(path, R"({"format": "hanjaParenHangul"})");
    EXPECT_EQ(store.string("format"), "hanjaParenHangul") << "once saved, the file decides again";
    EXPECT_FALSE(store.contains("meaningStyle"));
}

namespace {

// A broken file the store may not move aside (the lock beside it cannot be taken, a folder
// without write permission) is read again only once it changes, and logged once each time.
void checkBrokenFileThatStays(const QString& path, const std::function<void(bool)>& readOnly)
{
    readOnly(false);
    writeByHand(path, R"({"format": "hanjaOnly")");
    readOnly(true);
    Log::Collector log;
    JsonDefaultsStore store(path, std::chrono::milliseconds(0));
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(store.value("format").isUndefined());
    EXPECT_EQ(log.count("defaults.json"), 1) << log.lines().join('\n').toStdString();
    EXPECT_FALSE(store.setValue("meaningStyle", "none"));
    EXPECT_EQ(store.string("meaningStyle"), "none");

    log.clear();
    writeByHand(path, R"({"format": "hanjaParenHangul"})");
    EXPECT_EQ(store.string("format"), "hanjaParenHangul");
    EXPECT_EQ(store.string("meaningStyle"), "none");
    writeByHand(path, R"({"format": )");
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(store.value("format").isUndefined());
    EXPECT_EQ(log.count("defaults.json"), 1) << log.lines().join('\n').toStdString();
    readOnly(false);
    EXPECT_EQ(QDir(QFileInfo(path).absolutePath()).entryList({"defaults.json.broken-*"}).size(), 0);
    EXPECT_EQ(QFile(path).size(), 11) << "the user's file is left as it is";
}

} // namespace

TEST(DefaultsStoreFailureTest, ABrokenFileWhoseLockCannotBeTakenIsReadAgainOnlyWhenItChanges)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("defaults.json.lock"));
    checkBrokenFileThatStays(dir.filePath("defaults.json"), [](bool) {});
}

TEST(DefaultsStoreFailureTest, ABrokenFileInAReadOnlyFolderIsReadAgainOnlyWhenItChanges)
{
    QTemporaryDir dir;
    const auto check = [&dir] {
        JsonDefaultsStore(dir.filePath("defaults.json")).setValue("n", 1); // the lock file exists
        checkBrokenFileThatStays(dir.filePath("defaults.json"), [&dir](bool readOnly) {
            QFile::setPermissions(dir.path(), readOnly ? QFile::ReadOwner | QFile::ExeOwner
                                                       : QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
    };
    if (::geteuid() != 0) check();
    else TestSupport::inChild([&dir] { return asNobody(dir.path()); }, check);
}
