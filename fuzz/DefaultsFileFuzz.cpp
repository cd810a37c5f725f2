// The defaults file as a user or another program may leave it: reading never fails, a write keeps
// every key it did not mean to change, and a file that is not a JSON object is kept aside, byte
// for byte, before anything is written over it.
#include "FuzzSupport.h"

#include "base/JsonDefaultsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

namespace {

// In memory (/dev/shm) when there is one, as every write is synced; removed at exit.
QTemporaryDir& folder()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    static QTemporaryDir dir((shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath())
                             + QStringLiteral("/sorelwick-fuzz-defaults-XXXXXX"));
    return dir;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FUZZ_CHECK(folder().isValid(), folder().errorString());
    const QByteArray original = Fuzz::bytes(data, size);
    QDir dir(folder().path());
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) dir.remove(name);
    const QString path = dir.filePath(QStringLiteral("defaults.json"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(original) != original.size()) return 0;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(original, &error);
    const bool isObject = error.error == QJsonParseError::NoError && doc.isObject();
    const QString detail = Fuzz::show(QString::fromUtf8(original));

    // No wait before a broken file is read again: nothing else writes it here.
    JsonDefaultsStore store(path, std::chrono::milliseconds(0));
    const QJsonValue format = store.value(QStringLiteral("format"));
    if (isObject) FUZZ_CHECK(format == doc.object().value(QStringLiteral("format")), detail);

    const QString probe = QStringLiteral("fuzzProbe\u0001");
    store.setValue(probe, 7);
    QJsonObject expected = isObject ? doc.object() : QJsonObject();
    expected.insert(probe, 7);

    FUZZ_CHECK(QJsonDocument::fromJson(readAll(path)).object() == expected, detail + QStringLiteral(" became ") + QString::fromUtf8(readAll(path)));

    if (!isObject) {
        // The user's file is kept aside, whole.
        bool kept = false;
        for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden))
            if (name != QStringLiteral("defaults.json") && readAll(dir.filePath(name)) == original) kept = true;
        FUZZ_CHECK(kept || original.isEmpty(), detail);
    }
    return 0;
}
