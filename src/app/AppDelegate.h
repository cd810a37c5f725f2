#pragma once

#include "app/SingleInstance.h"

#include <QObject>
#include <QPointer>

#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

class QAction;
class QThread;
class OnboardingWindow;
class SaveFailureNotice;
class SettingsWindow;
class TrayHost;
class TrayMenu;
class X11TrayColors;
struct Platform;

// The running desktop application: starts everything in order and answers what the tray menu and
// later starts (`sorelwick --settings`, ...) ask. There is no main window; without a tray host
// the shortcut and the hand-over still work.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    AppDelegate();
    ~AppDelegate() override;

    // Start-up, in this order: the desktop's services, the shortcut and its handler, the
    // dictionary loading in the background, the first-run window if needed, and the tray icon
    // with its menu once the engine line is known (the local model server is asked first; the
    // shortcut does not wait for that answer).
    void start();
    // A request handed over by another start, or given on this one's command line, with what the
    // desktop gave that start for the window it leads to (kept in Activation's pending slot).
    void handle(SingleInstance::Request request, const Activation& activation = {});

    void openSettings();
    void openOnboarding();
    void openAbout();

private:
    void installPlatform();
    QCoro::Task<void> buildTray();
    void addAutostartItem();
    // Without a tray host the menu's items and the texts move to the settings and first-run windows.
    void followTrayHost(bool present);
    // The windows are made when first opened, then told what the tray holds.
    SettingsWindow& settingsWindow();
    OnboardingWindow& onboardingWindow();
    QList<QAction*> menuItems() const;
    void activateShortcut();
    void loadDictionary();
    // A new accessibility bus is reached by a fresh start, once no press, no pick's replacement and
    // no window is open.
    void restartForReturnedBus();
    // The clipboard this program holds (the user's, put back after a paste) outlives it.
    void handClipboardOver();

    std::shared_ptr<Platform> m_platform;
    std::unique_ptr<SaveFailureNotice> m_saveFailureNotice;
    std::unique_ptr<TrayMenu> m_tray;
    std::unique_ptr<X11TrayColors> m_trayColors; // after m_tray: it ends first, and with it its calls
    std::unique_ptr<TrayHost> m_trayHost; // asks m_trayColors: ends before it
    QPointer<QAction> m_autostartItem;
    QThread* m_loader = nullptr;
    std::optional<bool> m_trayPresent; // known once the tray host was looked for
    bool m_settingsMade = false;
    bool m_onboardingMade = false;
};
