#pragma once

#include "base/Defaults.h"
#include "base/Log.h"
#include "core/dictionary/HanjaEntry.h"
#include "support/MemoryDefaultsStore.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace TestSupport {

// A fresh in-memory defaults store installed as the shared one.
inline std::shared_ptr<MemoryDefaultsStore> freshDefaults()
{
    auto store = std::make_shared<MemoryDefaultsStore>();
    Defaults::setShared(store);
    return store;
}

// A file's bytes (empty when it cannot be read); bytes written over a file, and whether all were.
inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

// A temporary data folder with the given files (name → UTF-8 content).
class DataDir {
public:
    DataDir& write(const QString& name, const QByteArray& content)
    {
        writeFile(m_dir.filePath(name), content);
        return *this;
    }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// Whether one log line names all of these (a file, a setting, a value, a line number as a word):
// bad input was reported and the report says what it is about, whatever its wording.
inline bool logNames(const Log::Collector& log, const QStringList& names)
{
    for (const QString& line : log.lines()) {
        bool all = true;
        for (const QString& name : names)
            all = all && line.contains(QRegularExpression(QStringLiteral("(^|\\W)%1($|\\W)").arg(QRegularExpression::escape(name))));
        if (all) return true;
    }
    return false;
}

// Runs the check in a child process that `prepare` sets up first (other privileges, other mounts);
// its failures are printed there and fail the test here. Skips where it cannot be set up.
inline void inChild(const std::function<bool()>& prepare, const std::function<void()>& check)
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

// For inChild: one page of room at the folder, in a mount of the child's own.
inline bool onePageOfRoom(const QString& folder)
{
    return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
        && ::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=4k") == 0;
}

// Fills the disk the folder is on with a file named filler.
inline void fillDisk(const QString& folder)
{
    QFile filler(folder + QStringLiteral("/filler"));
    if (filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        while (filler.write(QByteArray(512, 'x')) > 0) {
        }
}

// The first n (up to 14) spellings of 수도, as the ranker gets them.
inline QList<HanjaEntry> pool(int n)
{
    static const QStringList hanja = {"首都", "修道", "囚徒", "隨道", "水稻", "受渡", "水道",
                                      "手刀", "修到", "需導", "首途", "隧道", "殊途", "數度"};
    QList<HanjaEntry> list;
    for (int i = 0; i < n; ++i) list.append(HanjaEntry("수도", hanja[i], QString()));
    return list;
}

// A ranking as the model answers it.
inline QJsonObject pickJson(const QJsonArray& indices, const QString& reason, const QJsonArray& meanings)
{
    return QJsonObject{{"indices", indices}, {"reason", reason}, {"meanings", meanings}};
}

} // namespace TestSupport
