#pragma once

#include "base/DefaultsStore.h"

#include <QJsonObject>

// Defaults that live only in memory: for tests and the simulator.
class MemoryDefaultsStore : public DefaultsStore {
public:
    QJsonValue value(const QString& key) override { return m_object.value(key); }
    void setValue(const QString& key, const QJsonValue& value) override { m_object.insert(key, value); }
    void remove(const QString& key) override { m_object.remove(key); }

private:
    QJsonObject m_object;
};
