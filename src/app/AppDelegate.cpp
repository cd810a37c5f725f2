#include "app/AppDelegate.h"

#include "app/Autostart.h"
#include "app/Launcher.h"
#include "app/TrayHost.h"
#include "base/Defaults.h"
#include "base/Log.h"
#include "base/Resources.h"
#include "core/CandidatePanel.h"
#include "core/Coordinator.h"
#include "core/dictionary/HanjaDictionary.h"
#include "core/LanguageModels.h"
#include "core/RankEngine.h"
#include "core/ShortcutCenter.h"
#include "core/UserWords.h"
#include "platform/DesktopPlatform.h"
#include "platform/atspi/AtspiAccessibility.h"
#include "platform/atspi/AtspiBusLink.h"
#include "platform/model/OpenAiCompatibleModel.h"
#include "platform/x11/X11Activation.h"
#include "platform/x11/X11Clipboard.h"
#include "platform/x11/X11Compositing.h"
#include "platform/x11/X11Session.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11PointerWatch.h"
#include "platform/x11/X11TrayColors.h"
#include "ui/AboutWindow.h"
#include "ui/CandidatePanelView.h" // QtPanelWindow.h needs it complete
#include "ui/OnboardingWindow.h"
#include "ui/QtOwnWindows.h"
#include "ui/QtPanelWindow.h"
#include "ui/SaveFailureNotice.h"
#include "ui/SettingsWindow.h"
#include "ui/TrayMenu.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QThread>
#include <QTimer>

#include <algorithm>

namespace {

void detach(QCoro::Task<void> task) { Q_UNUSED(task); }

// A window the user has open, which a restart would close under them.
bool ownWindowOpen()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [](QWidget* w) {
        return w->isVisible()
            && (qobject_cast<SettingsWindow*>(w) || qobject_cast<OnboardingWindow*>(w) || qobject_cast<AboutWindow*>(w));
    });
}

} // namespace

AppDelegate::AppDelegate() = default;

AppDelegate::~AppDelegate()
{
    // The loader reads into the shared dictionary: it must be done before statics go.
    if (m_loader) {
        m_loader->wait();
        delete m_loader;
    }
    m_tray.reset();
    LanguageModels::setShared(nullptr);
}

void AppDelegate::start()
{
    m_saveFailureNotice = std::make_unique<SaveFailureNotice>();
    installPlatform();
    activateShortcut();
    loadDictionary();
    connect(qApp, &QCoreApplication::aboutToQuit, this, &AppDelegate::handClipboardOver);
    // Needs the accessibility switch, or the first run never finished. Not made otherwise: a
    // window never shown would hold its widgets and the fonts it laid out for the whole session.
    if (OnboardingWindow::needed()) openOnboarding();
    detach(buildTray());
}

void AppDelegate::installPlatform()
{
    // The local model server, when one runs, ranks and corrects; without one nothing is sent.
    LanguageModels::setShared(std::make_shared<OpenAiCompatibleModel>());
    m_platform = DesktopPlatform::create();
    // A Wayland compositor ignores XWayland's grabs: there the panel takes the focus instead.
    QtPanelWindow::Activate activate;
    QtPanelWindow::EndStartup endStartup;
    if (std::shared_ptr<X11Activation> activation = X11Activation::open()) {
        if (X11Session::fromEnvironment().wayland)
            activate = [activation](WId window, const QByteArray& startupId) {
                return activation->request(window, startupId);
            };
        endStartup = [activation](const QByteArray& startupId) { activation->endStartup(startupId); };
    }
    m_platform->panelWindow =
        std::make_shared<QtPanelWindow>(X11Compositing::active, std::make_shared<X11PointerWatch>(X11Connection::open()),
                                        std::move(activate), std::move(endStartup));
    m_platform->ownWindows = std::make_shared<QtOwnWindows>();
    Platform::setShared(m_platform);
    if (auto atspi = std::dynamic_pointer_cast<AtspiAccessibility>(m_platform->accessibility))
        connect(&atspi->busLink(), &AtspiBusLink::returned, this, &AppDelegate::restartForReturnedBus);
}

void AppDelegate::restartForReturnedBus()
{
    // Settings the file would not take live only in this process until a write saves them.
    if (!Coordinator::shared().settled() || CandidatePanel::shared().isVisible() || ownWindowOpen()
        || Defaults::shared().holdsUnsaved()) {
        QTimer::singleShot(250, this, &AppDelegate::restartForReturnedBus);
        return;
    }
    Log::write(QStringLiteral("새 접근성 버스에 연결하려고 소렐을 다시 시작함"));
    handClipboardOver();
    Launcher::restartInPlace();
}

void AppDelegate::handClipboardOver()
{
    if (const auto clipboard = std::dynamic_pointer_cast<X11Clipboard>(m_platform ? m_platform->pasteboard : nullptr))
        clipboard->handToManager();
}

QCoro::Task<void> AppDelegate::buildTray()
{
    const RankEngine engine = co_await engineInForce();
    m_trayColors = std::make_unique<X11TrayColors>(X11Connection::open());
    m_tray = std::make_unique<TrayMenu>(engine, [colours = m_trayColors.get()] { return colours->foreground(); });
    m_trayHost = std::make_unique<TrayHost>([colours = m_trayColors.get()] { return colours->trayPresent(); });
    m_trayColors->setListener([this] {
        m_tray->syncIcon();
        m_trayHost->refresh();
    });
    connect(m_tray.get(), &TrayMenu::settingsRequested, this, &AppDelegate::openSettings);
    connect(m_tray.get(), &TrayMenu::onboardingRequested, this, &AppDelegate::openOnboarding);
    connect(m_tray.get(), &TrayMenu::aboutRequested, this, &AppDelegate::openAbout);
    addAutostartItem();
    if (m_settingsMade) SettingsWindow::shared().setMenuItems(menuItems());
    connect(m_trayHost.get(), &TrayHost::presentChanged, this, &AppDelegate::followTrayHost);
    followTrayHost(m_trayHost->present());
    // Qt puts the icon in a tray that appears later.
    m_tray->show();
}

void AppDelegate::followTrayHost(bool present)
{
    m_trayPresent = present;
    if (m_settingsMade) SettingsWindow::shared().setTrayPresent(present);
    if (m_onboardingMade) OnboardingWindow::shared().setTrayPresent(present);
}

QList<QAction*> AppDelegate::menuItems() const
{
    return {m_autostartItem.data(), m_tray->onboardingItem(), m_tray->aboutItem(), m_tray->quitItem()};
}

SettingsWindow& AppDelegate::settingsWindow()
{
    SettingsWindow& window = SettingsWindow::shared();
    if (!m_settingsMade) {
        m_settingsMade = true;
        if (m_tray) window.setMenuItems(menuItems()); // else the tray, once built, hands them over
        if (m_trayPresent) window.setTrayPresent(*m_trayPresent);
    }
    return window;
}

OnboardingWindow& AppDelegate::onboardingWindow()
{
    OnboardingWindow& window = OnboardingWindow::shared();
    if (!m_onboardingMade) {
        m_onboardingMade = true;
        if (m_trayPresent) window.setTrayPresent(*m_trayPresent);
    }
    return window;
}

// "로그인할 때 시작", right after "시작 안내…": checked when the autostart entry exists, and read
// again each time the menu opens, since the user may remove the file by hand.
void AppDelegate::addAutostartItem()
{
    QMenu* menu = m_tray->menu();
    auto* item = new QAction(QStringLiteral("로그인할 때 시작"), menu);
    item->setCheckable(true);
    item->setChecked(Autostart::isEnabled());
    m_tray->addItemAfterOnboarding(item);
    connect(menu, &QMenu::aboutToShow, item, [item] { item->setChecked(Autostart::isEnabled()); });
    connect(item, &QAction::triggered, this, [item](bool on) {
        const std::optional<QString> failure =
            on ? Autostart::enable(Resources::frontProgram()) : Autostart::disable();
        item->setChecked(Autostart::isEnabled());
        if (failure) QMessageBox::warning(nullptr, QStringLiteral("소렐"), *failure);
    });
    m_autostartItem = item;
}

void AppDelegate::activateShortcut()
{
    // The handler only schedules the session on the main loop and returns.
    ShortcutCenter::shared().activate([] {
        QTimer::singleShot(0, qApp, [] { Coordinator::shared().trigger(); });
    });
}

void AppDelegate::loadDictionary()
{
    UserWords::shared().attachTo(HanjaDictionary::shared());
    m_loader = QThread::create([] {
        HanjaDictionary::shared().loadIfNeeded();
        HanjaDictionary::shared().readCompoundTablesIfNeeded();
        HanjaDictionary::shared().readReadingsIfNeeded();
        HanjaDictionary::shared().releaseResident();
    });
    m_loader->start(QThread::LowPriority);
}

void AppDelegate::handle(SingleInstance::Request request, const Activation& activation)
{
    Activation::setPending(activation);
    switch (request) {
    case SingleInstance::Request::trigger:
        Coordinator::shared().trigger();
        break;
    case SingleInstance::Request::settings:
        openSettings();
        break;
    case SingleInstance::Request::onboarding:
        openOnboarding();
        break;
    case SingleInstance::Request::about:
        openAbout();
        break;
    case SingleInstance::Request::quit:
        QApplication::quit();
        break;
    }
}

void AppDelegate::openSettings()
{
    // The settings may show it in place of the menu; the file may have gone by hand.
    if (m_autostartItem) m_autostartItem->setChecked(Autostart::isEnabled());
    settingsWindow().present();
}
void AppDelegate::openOnboarding() { onboardingWindow().present(); }
void AppDelegate::openAbout() { AboutWindow::shared().present(); }
