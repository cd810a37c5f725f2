#pragma once

#include <QDBusServiceWatcher>
#include <QObject>

#include <functional>

// Whether a tray host is there to show our icon, followed as hosts come and go: a
// StatusNotifierWatcher on the session bus (KDE, or GNOME with an AppIndicator extension), or an
// XEmbed tray owning the screen's _NET_SYSTEM_TRAY_S<n> selection (asked of xembedTray, whose
// owner calls refresh() when that tray comes or goes). GNOME by default has neither.
class TrayHost : public QObject {
    Q_OBJECT
public:
    explicit TrayHost(std::function<bool()> xembedTray, QObject* parent = nullptr);

    bool present() const { return m_present; }
    void refresh();

signals:
    void presentChanged(bool present);

private:
    std::function<bool()> m_xembedTray;
    QDBusServiceWatcher m_watcher;
    bool m_present = false;
};
