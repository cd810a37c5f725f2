#include "app/TrayHost.h"

#include "base/Log.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace {
const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
} // namespace

TrayHost::TrayHost(std::function<bool()> xembedTray, QObject* parent)
    : QObject(parent)
    , m_xembedTray(std::move(xembedTray))
    , m_watcher(kWatcher, QDBusConnection::sessionBus(), QDBusServiceWatcher::WatchForOwnerChange)
{
    connect(&m_watcher, &QDBusServiceWatcher::serviceOwnerChanged, this, &TrayHost::refresh);
    m_present = m_xembedTray();
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    m_present = m_present || (bus && bus->isServiceRegistered(kWatcher).value());
    if (!m_present) Log::write(QStringLiteral("트레이 없음: 메뉴 항목은 설정 창에 둠 (sorelwick --settings)"));
}

void TrayHost::refresh()
{
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    const bool now = m_xembedTray() || (bus && bus->isServiceRegistered(kWatcher).value());
    if (now == m_present) return;
    m_present = now;
    Log::write(now ? QStringLiteral("트레이가 생김: 아이콘을 올림")
                   : QStringLiteral("트레이가 사라짐: 메뉴 항목은 설정 창에 둠 (sorelwick --settings)"));
    emit presentChanged(now);
}
