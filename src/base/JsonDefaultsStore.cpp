#include "base/JsonDefaultsStore.h"

#include "base/Defaults.h"

#include "base/Log.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>

#include <mutex>
#include <sys/stat.h>

namespace Defaults {
namespace {
std::mutex g_mutex;
std::shared_ptr<DefaultsStore> g_store;
} // namespace

DefaultsStore& shared()
{
    std::lock_guard lock(g_mutex);
    if (!g_store) g_store = std::make_shared<JsonDefaultsStore>(defaultPath());
    return *g_store;
}

void setShared(std::shared_ptr<DefaultsStore> store)
{
    std::lock_guard lock(g_mutex);
    g_store = std::move(store);
}

QString defaultPath()
{
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base)) base = QDir::homePath() + QStringLiteral("/.config");
    return base + QStringLiteral("/sorelwick/defaults.json");
}
} // namespace Defaults

JsonDefaultsStore::JsonDefaultsStore(QString path)
    : m_path(std::move(path))
{
}

JsonDefaultsStore::Stamp JsonDefaultsStore::stampNow() const
{
    struct stat st;
    if (::stat(QFile::encodeName(m_path).constData(), &st) != 0) return Stamp{};
    return Stamp{true, qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
                 qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec, quint64(st.st_ino)};
}

void JsonDefaultsStore::refresh()
{
    const Stamp now = stampNow();
    if (m_loaded && now == m_stamp) return;
    m_loaded = true;
    m_stamp = now;
    m_object = QJsonObject();
    if (!now.exists) return;

    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) {
        Log::write(QStringLiteral("설정 파일을 읽을 수 없음: %1 (%2)").arg(m_path, file.errorString()));
        return;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error == QJsonParseError::NoError && doc.isObject()) {
        m_object = doc.object();
        return;
    }
    // Keep the user's file for inspection instead of overwriting it on the next write.
    const QString reason = error.error != QJsonParseError::NoError ? error.errorString()
                                                                   : QStringLiteral("not a JSON object");
    const QString aside = m_path + QStringLiteral(".broken-")
        + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss-zzz"));
    if (QFile::rename(m_path, aside)) {
        Log::write(QStringLiteral("설정 파일이 올바른 JSON이 아니라 옆으로 옮기고 기본값으로 계속함: %1 → %2 (%3)")
                       .arg(m_path, aside, reason));
        m_stamp = stampNow();
    } else {
        Log::write(QStringLiteral("설정 파일이 올바른 JSON이 아니고 옮길 수도 없어 기본값으로 계속함: %1 (%2)")
                       .arg(m_path, reason));
    }
}

bool JsonDefaultsStore::writeFile(const QJsonObject& object)
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        Log::write(QStringLiteral("설정 파일을 쓸 수 없음: %1 (%2)").arg(m_path, file.errorString()));
        return false;
    }
    file.write(QJsonDocument(object).toJson(QJsonDocument::Indented));
    if (!file.commit()) {
        Log::write(QStringLiteral("설정 파일을 쓸 수 없음: %1 (%2)").arg(m_path, file.errorString()));
        return false;
    }
    return true;
}

QJsonValue JsonDefaultsStore::value(const QString& key)
{
    QMutexLocker lock(&m_mutex);
    refresh();
    return m_object.value(key);
}

void JsonDefaultsStore::setValue(const QString& key, const QJsonValue& value)
{
    QMutexLocker lock(&m_mutex);
    refresh();
    QJsonObject next = m_object;
    next.insert(key, value);
    // The value stays in force for this process even when the disk refused it.
    m_object = next;
    if (writeFile(next)) m_stamp = stampNow();
}

void JsonDefaultsStore::remove(const QString& key)
{
    QMutexLocker lock(&m_mutex);
    refresh();
    if (!m_object.contains(key)) return;
    QJsonObject next = m_object;
    next.remove(key);
    m_object = next;
    if (writeFile(next)) m_stamp = stampNow();
}
