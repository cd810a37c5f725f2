#pragma once

#include "base/DefaultsStore.h"

#include <QJsonObject>

// Defaults that live only in memory: for tests and the simulator.
class MemoryDefaultsStore : public DefaultsStore {
public:
    // Keys whose writes fail, as on a read-only file or a full disk.
    std::function<bool(const QString& key)> refuses;

    QJsonValue value(const QString& key) override { return m_object.value(key); }
    bool update(const QString& key, const Change& change) override
    {
        if (refuses && refuses(key)) return false;
        const QJsonValue next = change(m_object.value(key));
        if (next.isUndefined()) m_object.remove(key);
        else m_object.insert(key, next);
        return true;
    }

private:
    QJsonObject m_object;
};
