#include "base/JsonDefaultsStore.h"
#include "base/Log.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

QByteArray readAll(const QString& path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write(bytes);
}

} // namespace

TEST(DefaultsStoreTest, ValuesPersistAndForeignChangesAreSeen)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("sorelwick/defaults.json");
    {
        JsonDefaultsStore store(path);
        EXPECT_TRUE(store.value("format").isUndefined());
        store.setValue("format", "hanjaOnly");
        store.setValue("hotKeyCode", 4);
        store.remove("hotKeyCode");
    }
    JsonDefaultsStore reader(path);
    EXPECT_EQ(reader.string("format"), "hanjaOnly");
    EXPECT_FALSE(reader.contains("hotKeyCode"));

    // Another process (the user, another instance) edits the file: read at the moment of use.
    writeAll(path, R"({"format": "hanjaParenHangul", "onboardingDone": true, "extra": 1})");
    EXPECT_EQ(reader.string("format"), "hanjaParenHangul");
    EXPECT_TRUE(reader.boolean("onboardingDone"));
    EXPECT_EQ(QDir(dir.filePath("sorelwick")).entryList(QDir::Files).size(), 1) << "no temporary files are left";
}

TEST(DefaultsStoreTest, ForeignTypesReadAsTheFallback)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.json");
    writeAll(path, R"({"format": 7, "onboardingDone": "yes", "hotKeyCode": 4.5, "hotKeyModifiers": "x",
                       "big": 1e300, "ok": 786432})");
    JsonDefaultsStore store(path);
    EXPECT_EQ(store.string("format", "fallback"), "fallback");
    EXPECT_FALSE(store.boolean("onboardingDone", false));
    EXPECT_FALSE(store.integer("hotKeyCode"));
    EXPECT_FALSE(store.integer("hotKeyModifiers"));
    EXPECT_FALSE(store.integer("big"));
    EXPECT_EQ(store.integer("ok"), 786432);
}

TEST(DefaultsStoreTest, BrokenFileIsKeptAsideAndNothingIsLost)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("defaults.json");
    const QByteArray broken = R"({"format": "hanjaOnly", "pickHistory": {"수도)";
    writeAll(path, broken);
    Log::Collector log;
    JsonDefaultsStore store(path);
    EXPECT_EQ(store.string("format", "default"), "default");
    EXPECT_TRUE(log.contains("defaults.json"));

    const QStringList aside = QDir(dir.path()).entryList({"defaults.json.broken-*"}, QDir::Files);
    ASSERT_EQ(aside.size(), 1);
    EXPECT_EQ(readAll(dir.filePath(aside[0])), broken) << "the user's data is kept byte for byte";

    store.setValue("format", "hanjaParenHangul");
    EXPECT_EQ(JsonDefaultsStore(path).string("format"), "hanjaParenHangul");

    // A JSON document that is not an object is no settings file either.
    writeAll(path, "[1, 2]");
    EXPECT_TRUE(store.value("format").isUndefined());
    EXPECT_EQ(QDir(dir.path()).entryList({"defaults.json.broken-*"}, QDir::Files).size(), 2);
}

TEST(DefaultsStoreTest, UnwritableFolderKeepsTheValueForThisProcess)
{
    if (geteuid() == 0) GTEST_SKIP() << "root can write anywhere";
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    Log::Collector log;
    JsonDefaultsStore store(dir.filePath("defaults.json"));
    store.setValue("format", "hanjaOnly");
    EXPECT_EQ(store.string("format"), "hanjaOnly");
    EXPECT_TRUE(log.contains("설정 파일을 쓸 수 없음"));
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
