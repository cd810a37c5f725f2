#include "ui/DesktopShortcutOption.h"

#include "core/ShortcutCenter.h"
#include "ui/UiStyle.h"

#include <QCheckBox>
#include <QLabel>
#include <QPointer>
#include <QVBoxLayout>

namespace {

using Route = HotKeyService::DesktopRoute;

QString explanationFor(Route route)
{
    switch (route) {
    case Route::gnomeCustomShortcut:
        return QStringLiteral("Wayland 앱에는 GNOME이 단축키를 넘겨 주지 않습니다. 켜면 GNOME 설정 › 키보드 › 사용자 지정 "
                              "단축키에 “소렐: 한자 후보”(sorelwick --trigger)를 만들고, 단축키를 바꾸면 따라 바꾸고, "
                              "끄면 지웁니다. 다른 단축키는 그대로 둡니다. 끈 채로는 XWayland 앱에서만 됩니다.");
    case Route::portal:
        return QStringLiteral("데스크톱의 전역 단축키로 등록해 Wayland 앱에서도 됩니다. 데스크톱이 확인을 물을 수 있고, "
                              "조합은 데스크톱의 단축키 설정에서 바꿀 수 있습니다.");
    case Route::grabOnly:
        return QStringLiteral("이 데스크톱은 Wayland 앱의 키를 소렐에 넘겨 주지 않아, 단축키가 XWayland 앱에서만 "
                              "들어옵니다. 데스크톱의 단축키 설정에서 sorelwick --trigger를 실행하는 단축키를 만들면 "
                              "어느 앱에서나 됩니다.");
    case Route::none:
        break;
    }
    return {};
}

} // namespace

DesktopShortcutOption::DesktopShortcutOption(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    if (ShortcutCenter::shared().desktopRoute() == Route::gnomeCustomShortcut) {
        m_check = new QCheckBox(QStringLiteral("GNOME 단축키로 등록"), this);
        m_check->setFont(UiStyle::font(12.5, QFont::Medium));
        connect(m_check, &QCheckBox::toggled, this, [this](bool on) {
            if (on == ShortcutCenter::shared().gnomeShortcutAllowed()) return;
            const std::optional<QString> failure = ShortcutCenter::shared().allowGnomeShortcut(on);
            m_problem->setText(failure ? m_check->text() + QStringLiteral(" — ") + *failure : QString());
            m_problem->setVisible(bool(failure));
            sync();
        });
        layout->addWidget(m_check);
    }
    m_text = UiStyle::label(QString(), 11, QFont::Normal, UiStyle::secondary(palette()), this);
    layout->addWidget(m_text);
    m_problem = UiStyle::label(QString(), 11, QFont::Normal, UiStyle::accent(), this);
    m_problem->hide();
    layout->addWidget(m_problem);

    // The other window (settings or first run) may answer too.
    QPointer<DesktopShortcutOption> self = this;
    m_observer = Notifier::shared().observe(ShortcutCenter::didChange, [self] {
        if (self) self->sync();
    });
    sync();
}

DesktopShortcutOption::~DesktopShortcutOption() { Notifier::shared().remove(m_observer); }

void DesktopShortcutOption::sync()
{
    const Route route = ShortcutCenter::shared().desktopRoute();
    m_text->setText(explanationFor(route));
    setVisible(route != Route::none);
    if (m_check) {
        const QSignalBlocker quiet(m_check);
        m_check->setChecked(ShortcutCenter::shared().gnomeShortcutAllowed());
    }
}

QString DesktopShortcutOption::explanation() const { return m_text->text(); }
QString DesktopShortcutOption::problem() const { return m_problem->isVisibleTo(this) ? m_problem->text() : QString(); }
