#pragma once

#include "platform/Activation.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <map>

// Our shortcut through the desktop portal's GlobalShortcuts interface (KDE Plasma 5.27+, GNOME 48+):
// a session of ours holding one shortcut, "hanja", with the combination we prefer. The desktop
// may ask the user, and has the last word on the combination; closing the session removes it.
// All calls are asynchronous: results arrive as the portal's Response signals.
class PortalShortcuts : public QObject {
    Q_OBJECT
public:
    static constexpr char service[] = "org.freedesktop.portal.Desktop";
    static constexpr char objectPath[] = "/org/freedesktop/portal/desktop";
    static constexpr char interface[] = "org.freedesktop.portal.GlobalShortcuts";
    static constexpr char shortcutId[] = "hanja";

    // Whether the bus has a portal with the interface (it answers the interface's version).
    static bool isAvailable(const QDBusConnection& bus);

    explicit PortalShortcuts(QDBusConnection bus, QObject* parent = nullptr);
    ~PortalShortcuts() override;

    // Binds the shortcut with this preferred trigger ("CTRL+ALT+h") in a fresh session; an earlier
    // session is closed first, so only the latest combination stays.
    void bind(const QString& trigger);
    // Closes the session: the desktop drops our shortcut.
    void unbind();
    bool hasSession() const { return !m_session.isEmpty(); }

signals:
    // The desktop bound the shortcut; what it says the trigger is ("Ctrl+Alt+H"), may be empty.
    void bound(const QString& triggerDescription);
    // The shortcut was pressed; the portal's activation token, when it gives one.
    void activated(const Activation& activation);

private slots:
    void onResponse(const QDBusMessage& message);
    void onActivated(const QDBusMessage& message);

private:
    using Answer = std::function<void(uint response, const QVariantMap& results)>;
    // Calls a portal method that answers through a Request object; `answer` runs on its Response.
    void request(const QString& method, const QList<QVariant>& leading, QVariantMap options, Answer answer);
    void forget(const QString& requestPath);
    void closeSession(const QString& session);
    void bindInSession(const QString& trigger, quint64 generation);
    QString requestPath(const QString& token) const;

    QDBusConnection m_bus;
    std::map<QString, Answer> m_pending; // by Request path
    QString m_session; // object path; empty without one
    quint64 m_generation = 0; // a bind or unbind started later makes earlier answers stale
    quint64 m_nextToken = 0;
};
