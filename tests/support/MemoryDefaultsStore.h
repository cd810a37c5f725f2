#pragma once

#include "base/DefaultsStore.h"
#include "base/Notifier.h"

#include <QJsonObject>

// Defaults that live only in memory: for tests and the simulator.
class MemoryDefaultsStore : public DefaultsStore {
public:
    // Keys whose writes fail, as on a read-only file or a full disk.
    std::function<bool(const QString& key)> refuses;

    QJsonValue value(const QString& key) override { return m_object.value(key); }
    // A refused change is kept in force or dropped as asked, as the file store does.
    bool update(const QString& key, const Change& change, Unsaved unsaved = Unsaved::keep) override
    {
        const bool refused = refuses && refuses(key);
        if (refused && unsaved == Unsaved::drop) return false;
        const QJsonValue next = change(m_object.value(key));
        if (next.isUndefined()) m_object.remove(key);
        else m_object.insert(key, next);
        if (refused) Notifier::shared().post(Notifications::settingsDidFailToSave);
        return !refused;
    }

private:
    QJsonObject m_object;
};
