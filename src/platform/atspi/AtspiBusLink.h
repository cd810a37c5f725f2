#pragma once

#include "platform/atspi/DBusConnectionRef.h"

#include <QDBusServiceWatcher>
#include <QObject>

#include <atomic>

// Whether libatspi's connection to the accessibility bus still stands, and when a bus answers
// again after it fell (the desktop session restarted it, or it crashed). libatspi 2.46 connects
// once per process: after atspi_exit, atspi_init finds the registry and every application it knew
// disposed (the desktop answers "The application no longer exists"), so a new bus is only reached
// by a fresh start of the program. Events come through libatspi's loop (AtspiThread's).
class AtspiBusLink : public QObject {
    Q_OBJECT
public:
    // libatspi's connection as atspi_init left it; null when there was no bus to connect to.
    explicit AtspiBusLink(DBusConnection* connection, QObject* parent = nullptr);
    ~AtspiBusLink() override;

    // Also false between the connection's closing and the main loop's telling of it.
    bool connected() const;

signals:
    // While not connected: the session bus names an accessibility bus again, and it answers.
    void returned();

private:
    static DBusHandlerResult onMessage(DBusConnection* connection, DBusMessage* message, void* self);
    void askForAddress();

    DBusConnectionRef m_connection;
    std::atomic<bool> m_connected = false; // set where libatspi's connection is dispatched
    QDBusServiceWatcher m_watcher;
};
