#pragma once

#include "base/Notifier.h"
#include "core/RankEngine.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <QAction>
#include <QColor>
#include <QMenu>

#include <functional>
#include <optional>

class QPalette;
class QSystemTrayIcon;

// The tray icon and its menu: the shortcut line, settings, the format submenu, the first-run
// window, the engine line, about and quit. The shortcut line and the format checks follow the
// settings through their notifications, and the checks are read again whenever the menu opens;
// the engine line starts with what it is given and follows every later availability answer (the
// menu asks anew as it opens).
//
// Trays here do not tint the icon for a dark or a light panel, so its ink is chosen: the colour
// the tray asks for when it says one (trayInk), else the desktop's text colour, which follows its
// light or dark scheme. Chosen again when the desktop's palette changes, and on syncIcon().
class TrayMenu : public QObject {
    Q_OBJECT
public:
    using TrayInk = std::function<std::optional<QColor>()>;

    explicit TrayMenu(RankEngine engine, TrayInk trayInk = {}, QObject* parent = nullptr);
    ~TrayMenu() override;

    static QColor iconInk(const std::optional<QColor>& trayInk, const QPalette& palette);
    // Draws the icon again, for a tray that came, went or changed its colour.
    void syncIcon();

    QSystemTrayIcon* trayIcon() const { return m_tray; }
    QMenu* menu() const { return m_menu; }
    // Puts the icon in the tray.
    void show();
    // Adds an item of the application's own right after "시작 안내…" (before the separator).
    void addItemAfterOnboarding(QAction* item);

    QAction* shortcutItem() const { return m_shortcutItem; }
    QAction* settingsItem() const { return m_settingsItem; }
    QMenu* formatMenu() const { return m_formatMenu; }
    QAction* onboardingItem() const { return m_onboardingItem; }
    QAction* engineItem() const { return m_engineItem; }
    QAction* aboutItem() const { return m_aboutItem; }
    QAction* quitItem() const { return m_quitItem; }

signals:
    void settingsRequested();
    void onboardingRequested();
    void aboutRequested();
    // Quits the program unless the receiver says otherwise; connected to QCoreApplication::quit.
    void quitRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void syncShortcutTitle();
    void syncFormatChecks();
    void setEngine(RankEngine engine);
    void setFormat(QAction* item);

    QMenu* m_menu;
    QSystemTrayIcon* m_tray;
    TrayInk m_trayInk;
    QPointer<QAction> m_shortcutItem;
    QPointer<QAction> m_settingsItem;
    QPointer<QMenu> m_formatMenu;
    QPointer<QAction> m_onboardingItem;
    QPointer<QAction> m_engineItem;
    QPointer<QAction> m_aboutItem;
    QPointer<QAction> m_quitItem;
    Notifier::Handle m_formatObserver = 0;
    Notifier::Handle m_engineObserver = 0;
    Notifier::Handle m_shortcutObserver = 0;
};
