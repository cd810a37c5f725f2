#include "base/Notifier.h"

#include <vector>

Notifier& Notifier::shared()
{
    static Notifier instance;
    return instance;
}

Notifier::Handle Notifier::observe(const QString& name, std::function<void()> callback)
{
    QMutexLocker lock(&m_mutex);
    const Handle handle = m_next++;
    m_observers.emplace(handle, Observer{name, std::move(callback)});
    return handle;
}

void Notifier::remove(Handle handle)
{
    QMutexLocker lock(&m_mutex);
    m_observers.erase(handle);
}

void Notifier::post(const QString& name)
{
    // Observers run outside the lock so that they may observe, remove or post themselves.
    std::vector<std::pair<Handle, std::function<void()>>> targets;
    {
        QMutexLocker lock(&m_mutex);
        for (const auto& [handle, observer] : m_observers)
            if (observer.name == name) targets.emplace_back(handle, observer.callback);
    }
    for (auto& [handle, callback] : targets) {
        bool stillObserving;
        {
            QMutexLocker lock(&m_mutex);
            stillObserving = m_observers.count(handle) > 0;
        }
        if (stillObserving) callback();
    }
}
