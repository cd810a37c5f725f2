#include "platform/atspi/AtspiBusLink.h"

#include "base/Log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace {

const QString busService = QStringLiteral("org.a11y.Bus");
const QString busPath = QStringLiteral("/org/a11y/bus");

} // namespace

AtspiBusLink::AtspiBusLink(DBusConnection* connection, QObject* parent)
    : QObject(parent)
    , m_connection(connection)
    , m_connected(connection && dbus_connection_get_is_connected(connection))
    , m_watcher(busService, QDBusConnection::sessionBus(), QDBusServiceWatcher::WatchForRegistration)
{
    if (m_connection) dbus_connection_add_filter(m_connection.get(), &AtspiBusLink::onMessage, this, nullptr);
    connect(&m_watcher, &QDBusServiceWatcher::serviceRegistered, this, [this] {
        if (!connected()) askForAddress();
    });
}

AtspiBusLink::~AtspiBusLink()
{
    if (m_connection) dbus_connection_remove_filter(m_connection.get(), &AtspiBusLink::onMessage, this);
}

bool AtspiBusLink::connected() const
{
    return m_connected && dbus_connection_get_is_connected(m_connection.get());
}

// libdbus tells of a closed connection with a local signal, dispatched from libatspi's loop.
DBusHandlerResult AtspiBusLink::onMessage(DBusConnection*, DBusMessage* message, void* self)
{
    auto* link = static_cast<AtspiBusLink*>(self);
    if (link->m_connected && dbus_message_is_signal(message, DBUS_INTERFACE_LOCAL, "Disconnected")) {
        link->m_connected = false;
        Log::write(QStringLiteral("접근성 버스(AT-SPI) 연결이 끊김: 버스가 다시 뜰 때까지 선택은 클립보드로 읽음"));
    }
    return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
}

// The name comes back before the launcher has its bus: the address answers once it does.
void AtspiBusLink::askForAddress()
{
    const QDBusMessage call = QDBusMessage::createMethodCall(busService, busPath, busService, QStringLiteral("GetAddress"));
    auto* watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QString> address = *w;
        if (connected() || address.isError() || address.value().isEmpty()) return;
        Log::write(QStringLiteral("접근성 버스가 다시 뜸: %1").arg(address.value()));
        emit returned();
    });
}
