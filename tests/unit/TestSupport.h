#pragma once

#include "base/Defaults.h"
#include "platform/fake/MemoryDefaultsStore.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace TestSupport {

// A fresh in-memory defaults store installed as the shared one.
inline std::shared_ptr<MemoryDefaultsStore> freshDefaults()
{
    auto store = std::make_shared<MemoryDefaultsStore>();
    Defaults::setShared(store);
    return store;
}

// A temporary data folder with the given files (name → UTF-8 content).
class DataDir {
public:
    DataDir& write(const QString& name, const QByteArray& content)
    {
        QFile f(m_dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(content);
        return *this;
    }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

inline QString fixturesDir() { return QStringLiteral(SORELWICK_FIXTURES_DIR); }

} // namespace TestSupport
