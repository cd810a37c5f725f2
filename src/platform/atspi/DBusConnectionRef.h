#pragma once

#include <dbus/dbus.h>

#include <utility>

// Owns one reference to a libdbus connection (libatspi's, which atspi_exit would drop): unref'd
// when the holder goes.
class DBusConnectionRef {
public:
    DBusConnectionRef() = default;
    // Takes a reference of its own; the caller keeps its.
    explicit DBusConnectionRef(DBusConnection* connection)
        : m_connection(connection ? dbus_connection_ref(connection) : nullptr)
    {
    }
    DBusConnectionRef(const DBusConnectionRef&) = delete;
    DBusConnectionRef& operator=(const DBusConnectionRef&) = delete;
    DBusConnectionRef(DBusConnectionRef&& other) noexcept : m_connection(std::exchange(other.m_connection, nullptr)) {}
    ~DBusConnectionRef()
    {
        if (m_connection) dbus_connection_unref(m_connection);
    }

    DBusConnection* get() const { return m_connection; }
    explicit operator bool() const { return m_connection != nullptr; }

private:
    DBusConnection* m_connection = nullptr;
};
