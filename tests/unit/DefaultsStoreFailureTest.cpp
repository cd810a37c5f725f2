#include "base/JsonDefaultsStore.h"
#include "base/Log.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <grp.h>
#include <unistd.h>

// Settings that cannot be written: what the user changed stays in force until it can be saved,
// and a file that cannot be fixed is not read over and over.

namespace {

const auto kReadOnly = QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther;
const auto kReadWrite = kReadOnly | QFile::WriteOwner;

QJsonObject onDisk(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return QJsonDocument::fromJson(f.readAll()).object();
}

// Another program (an editor, another Sorelwick process) writes the file in place.
void writeByHand(const QString& path, const QByteArray& bytes)
{
    // The owner's bits only: Qt would set the "user" ones (the caller's access) as the owner's.
    const bool existed = QFile::exists(path);
    const QFile::Permissions mode =
        QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
    if (existed) QFile::setPermissions(path, mode | QFile::WriteOwner);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    f.close();
    if (existed) QFile::setPermissions(path, mode);
}

// Runs the check in a child process that `prepare` sets up first (other privileges, other mounts);
// its failures are printed there and fail the test here. Skips where it cannot be set up.
void inChild(const std::function<bool()>& prepare, const std::function<void()>& check)
{
    std::fflush(stdout);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!prepare()) _exit(77);
        check();
        std::fflush(stdout);
        _exit(testing::Test::HasFailure() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "the child could not be set up";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the check failed in the child, as printed above";
}

// Root passes every permission check: the child becomes nobody, owning the folder.
bool asNobody(const QString& folder)
{
    constexpr uid_t nobody = 65534;
    return ::chown(QFile::encodeName(folder).constData(), nobody, nobody) == 0 && ::setgroups(0, nullptr) == 0
        && ::setgid(nobody) == 0 && ::setuid(nobody) == 0;
}

} // namespace

// The store refuses a file or folder without write permission for every user, root included.
TEST(DefaultsStoreFailureTest, UnsavedChangesStayInForceUntilOneWriteSavesThemAll)
{
    for (const bool folder : {false, true}) {
        SCOPED_TRACE(folder ? "read-only folder" : "read-only file");
        QTemporaryDir dir;
        const QString path = dir.filePath("defaults.json");
        writeByHand(path, R"({"format": "hangulParenHanja", "meaningStyle": "gloss", "pickHistory": {"a\tA": [1, 1]}})");
        const auto lock = [&](bool readOnly) {
            if (folder) QFile::setPermissions(dir.path(), readOnly ? QFile::ReadOwner | QFile::ExeOwner
                                                                   : QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            else QFile::setPermissions(path, readOnly ? kReadOnly : kReadWrite);
        };
        lock(true);
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
        lock(false);
        EXPECT_TRUE(store.setValue("hotKeyCode", 38));
        EXPECT_EQ(onDisk(path), (QJsonObject{{"format", "hanjaOnly"}, {"meaningStyle", "none"}, {"modelName", "other"},
                                             {"hotKeyCode", 38}}));
        EXPECT_FALSE(store.holdsUnsaved());
        writeByHand(path, R"({"format": "hanjaParenHangul"})");
        EXPECT_EQ(store.string("format"), "hanjaParenHangul") << "once saved, the file decides again";
        EXPECT_FALSE(store.contains("meaningStyle"));
    }
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
    else inChild([&dir] { return asNobody(dir.path()); }, check);
}

// A full disk is said to be one: the change fails, the file stays as it was, nothing is left over.
TEST(DefaultsStoreFailureTest, AFullDiskIsNamedAndLeavesNothingBehind)
{
    QTemporaryDir dir;
    inChild(
        [&dir] {
            // One page of room, in a mount of this child's own.
            return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
                && ::mount("tmpfs", QFile::encodeName(dir.path()).constData(), "tmpfs", 0, "size=4k") == 0;
        },
        [&dir] {
            const QString path = dir.filePath("defaults.json");
            writeByHand(path, R"({"format": "hanjaOnly"})");
            QFile filler(dir.filePath("filler"));
            ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            while (filler.write(QByteArray(512, 'x')) > 0) {
            }
            Log::Collector log;
            EXPECT_FALSE(JsonDefaultsStore(path).setValue("format", "hanjaParenHangul", DefaultsStore::Unsaved::drop));
            EXPECT_TRUE(log.contains(QString::fromLocal8Bit(std::strerror(ENOSPC)))) << log.lines().join('\n').toStdString();
            EXPECT_EQ(onDisk(path), (QJsonObject{{"format", "hanjaOnly"}}));
            EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files),
                      (QStringList{"defaults.json", "defaults.json.lock", "filler"}));
        });
}
