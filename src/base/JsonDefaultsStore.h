#pragma once

#include "base/DefaultsStore.h"

#include <QJsonObject>
#include <QMutex>

// Defaults kept in one JSON object file. The file is re-read whenever it changed on disk and
// written atomically, so a crash never leaves half a file. A file that is not a JSON object is
// moved aside as "<name>.broken-<timestamp>" and reading goes on with no values.
class JsonDefaultsStore : public DefaultsStore {
public:
    explicit JsonDefaultsStore(QString path);

    QJsonValue value(const QString& key) override;
    void setValue(const QString& key, const QJsonValue& value) override;
    void remove(const QString& key) override;

    QString path() const { return m_path; }

private:
    struct Stamp {
        bool exists = false;
        qint64 size = 0;
        qint64 mtimeNs = 0;
        qint64 ctimeNs = 0;
        quint64 inode = 0;
        bool operator==(const Stamp&) const = default;
    };
    Stamp stampNow() const;
    void refresh();
    bool writeFile(const QJsonObject& object);

    QMutex m_mutex;
    QString m_path;
    QJsonObject m_object;
    Stamp m_stamp;
    bool m_loaded = false;
};
