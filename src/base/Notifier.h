#pragma once

#include <QMutex>
#include <QString>

#include <functional>
#include <map>

// Process-wide notifications by name, without object or user info. Delivery is synchronous on the
// posting thread; an observer is removed with the handle that observe() returned.
class Notifier {
public:
    using Handle = quint64;

    static Notifier& shared();

    Handle observe(const QString& name, std::function<void()> callback);
    void remove(Handle handle);
    void post(const QString& name);

private:
    struct Observer {
        QString name;
        std::function<void()> callback;
    };
    QMutex m_mutex;
    std::map<Handle, Observer> m_observers;
    Handle m_next = 1;
};

namespace Notifications {
inline const QString formatDidChange = QStringLiteral("SorelwickFormatDidChange");
inline const QString didReplace = QStringLiteral("SorelwickDidReplace");
inline const QString pickHistoryDidChange = QStringLiteral("SorelwickPickHistoryDidChange");
inline const QString shortcutDidChange = QStringLiteral("SorelwickShortcutDidChange");
// A setting the user changed is in force but could not be written to the settings file.
inline const QString settingsDidFailToSave = QStringLiteral("SorelwickSettingsDidFailToSave");
} // namespace Notifications
