#include "ui/TrayMenu.h"

#include "core/EnumKeys.h"
#include "core/ShortcutCenter.h"
#include "core/WritingSettings.h"
#include "ui/SettingTexts.h"
#include "ui/TrayIconPainter.h"

#include <QAction>
#include <QActionGroup>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPalette>
#include <QSystemTrayIcon>

TrayMenu::TrayMenu(RankEngine engine, TrayInk trayInk, QObject* parent)
    : QObject(parent)
    , m_menu(new QMenu)
    , m_tray(new QSystemTrayIcon(this))
    , m_trayInk(std::move(trayInk))
{
    // 1: the shortcut, an information line.
    m_shortcutItem = m_menu->addAction(QString());
    m_shortcutItem->setEnabled(false);
    syncShortcutTitle();
    m_menu->addSeparator();

    // The key equivalents act while the menu is open; the text after the tab shows them.
    m_settingsItem = m_menu->addAction(QStringLiteral("설정…\tCtrl+,"));
    connect(m_settingsItem, &QAction::triggered, this, &TrayMenu::settingsRequested);

    m_formatMenu = m_menu->addMenu(QStringLiteral("치환 형식"));
    for (const ReplacementFormat::Format format : EnumKeys::all<ReplacementFormat::Format>()) {
        QAction* item = m_formatMenu->addAction(SettingTexts::formatTitle(format) + QStringLiteral("   ")
                                                + SettingTexts::formatExample(format));
        item->setCheckable(true);
        item->setData(EnumKeys::key(format));
        connect(item, &QAction::triggered, this, [this, item] { setFormat(item); });
    }
    syncFormatChecks();
    // The file may have changed by hand or from another process, which no notification tells.
    connect(m_menu, &QMenu::aboutToShow, this, &TrayMenu::syncFormatChecks);
    connect(m_formatMenu, &QMenu::aboutToShow, this, &TrayMenu::syncFormatChecks);

    m_onboardingItem = m_menu->addAction(QStringLiteral("시작 안내…"));
    connect(m_onboardingItem, &QAction::triggered, this, &TrayMenu::onboardingRequested);
    m_menu->addSeparator();

    m_engineItem = m_menu->addAction(QString());
    m_engineItem->setEnabled(false);
    setEngine(engine);
    // A model server started or stopped since: the answer comes while the menu is open.
    connect(m_menu, &QMenu::aboutToShow, this, [] { (void)availableModel(); });
    m_menu->addSeparator();

    m_aboutItem = m_menu->addAction(QStringLiteral("소렐 정보"));
    connect(m_aboutItem, &QAction::triggered, this, &TrayMenu::aboutRequested);
    m_quitItem = m_menu->addAction(QStringLiteral("종료\tCtrl+Q"));
    connect(m_quitItem, &QAction::triggered, this, &TrayMenu::quitRequested);
    connect(this, &TrayMenu::quitRequested, QCoreApplication::instance(), &QCoreApplication::quit,
            Qt::QueuedConnection);
    m_menu->installEventFilter(this);
    QCoreApplication::instance()->installEventFilter(this); // for a new palette

    syncIcon();
    m_tray->setToolTip(QStringLiteral("소렐"));
    m_tray->setContextMenu(m_menu);
    // A left click opens the same menu; desktops differ in which button they pass on.
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) m_menu->popup(QCursor::pos());
    });

    QPointer<TrayMenu> self = this;
    m_formatObserver = Notifier::shared().observe(Notifications::formatDidChange, [self] {
        if (self) self->syncFormatChecks();
    });
    m_engineObserver = Notifier::shared().observe(engineDidAnswer, [self] {
        if (const std::optional<RankEngine> engine = lastEngineAnswer(); self && engine) self->setEngine(*engine);
    });
    m_shortcutObserver = Notifier::shared().observe(Notifications::shortcutDidChange, [self] {
        if (self) self->syncShortcutTitle();
    });
}

TrayMenu::~TrayMenu()
{
    Notifier::shared().remove(m_formatObserver);
    Notifier::shared().remove(m_shortcutObserver);
    Notifier::shared().remove(m_engineObserver);
    m_tray->setContextMenu(nullptr);
    delete m_menu;
}

void TrayMenu::show() { m_tray->show(); }

void TrayMenu::addItemAfterOnboarding(QAction* item)
{
    const QList<QAction*> items = m_menu->actions();
    const qsizetype at = items.indexOf(m_onboardingItem.data());
    // Items added earlier this way stay above the new one.
    qsizetype next = at + 1;
    while (next < items.size() && !items[next]->isSeparator()) ++next;
    m_menu->insertAction(next < items.size() ? items[next] : nullptr, item);
}

void TrayMenu::syncShortcutTitle()
{
    if (!m_shortcutItem) return;
    const ShortcutCenter& center = ShortcutCenter::shared();
    // A shortcut another program holds does nothing: the line says so instead of how to use it.
    m_shortcutItem->setText(QStringLiteral("단축키: ") + center.current().displayString()
                            + (center.isHeldElsewhere() ? QStringLiteral("  (다른 프로그램이 쓰는 중)")
                                                        : QStringLiteral("  (단어 선택 후)")));
}

void TrayMenu::setEngine(RankEngine engine)
{
    if (!m_engineItem) return;
    m_engineItem->setText(QStringLiteral("엔진: ")
                          + (engine == RankEngine::model ? QStringLiteral("온디바이스 AI")
                                                         : QStringLiteral("빈도순(AI 꺼짐)")));
}

void TrayMenu::syncFormatChecks()
{
    if (!m_formatMenu) return;
    const QString current = EnumKeys::key(WritingSettings::format());
    for (QAction* item : m_formatMenu->actions()) {
        const QVariant data = item->data();
        item->setChecked(data.typeId() == QMetaType::QString && data.toString() == current);
    }
}

void TrayMenu::setFormat(QAction* item)
{
    const QVariant data = item->data();
    if (data.typeId() != QMetaType::QString) return;
    if (const auto format = EnumKeys::fromKey<ReplacementFormat::Format>(data.toString()))
        WritingSettings::setFormat(*format);
    // A click toggles the check by itself; the stored value decides.
    syncFormatChecks();
}

QColor TrayMenu::iconInk(const std::optional<QColor>& trayInk, const QPalette& palette)
{
    return trayInk ? *trayInk : palette.color(QPalette::Active, QPalette::WindowText);
}

void TrayMenu::syncIcon()
{
    m_tray->setIcon(TrayIconPainter::icon(iconInk(m_trayInk ? m_trayInk() : std::nullopt, QGuiApplication::palette())));
}

bool TrayMenu::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == QCoreApplication::instance() && event->type() == QEvent::ApplicationPaletteChange) syncIcon();
    if (watched == m_menu && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::ControlModifier && (key->key() == Qt::Key_Comma || key->key() == Qt::Key_Q)) {
            QAction* item = key->key() == Qt::Key_Comma ? m_settingsItem : m_quitItem;
            m_menu->close();
            if (item) item->trigger();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
