#include "ui/OnboardingWindow.h"

#include "base/Defaults.h"
#include "base/Notifier.h"
#include "core/ShortcutCenter.h"
#include "platform/Platform.h"
#include "ui/DesktopShortcutOption.h"
#include "ui/UiStyle.h"

#include <QCloseEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int kWidth = 420;
constexpr int kPadding = 24;
constexpr int kMark = 22;

// The step's circle: the accent with a check when done, else a faint disc with the number.
class StepMark : public QWidget {
public:
    StepMark(int number, QWidget* parent)
        : QWidget(parent)
        , m_number(number)
    {
        setFixedSize(kMark, kMark);
    }
    void setDone(bool done)
    {
        m_done = done;
        update();
    }
    bool done() const { return m_done; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect());
        p.setPen(Qt::NoPen);
        p.setBrush(m_done ? UiStyle::accent() : UiStyle::primary(palette(), 0.08));
        p.drawEllipse(r);
        if (m_done) {
            QPainterPath check;
            check.moveTo(r.left() + 6.6, r.center().y() + 0.3);
            check.lineTo(r.left() + 9.6, r.center().y() + 3.3);
            check.lineTo(r.left() + 15.4, r.center().y() - 3.5);
            p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPath(check);
        } else {
            p.setFont(UiStyle::font(11, QFont::DemiBold));
            p.setPen(UiStyle::secondary(palette()));
            p.drawText(r, Qt::AlignCenter, QString::number(m_number));
        }
    }

private:
    int m_number;
    bool m_done = false;
};

} // namespace

OnboardingWindow& OnboardingWindow::shared()
{
    static OnboardingWindow* instance = new OnboardingWindow(); // kept for the life of the process
    return *instance;
}

OnboardingWindow::OnboardingWindow(QWidget* parent)
    : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("소렐 시작하기"));
    setFixedWidth(kWidth);
    const QPalette pal = palette();
    const QColor primary = UiStyle::primary(pal);
    const QColor secondary = UiStyle::secondary(pal);
    // The text shown is the shortcut in force when the window was built.
    const QString shortcut = ShortcutCenter::shared().current().displayString();

    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(kPadding, kPadding, kPadding, kPadding - 4);
    root->setSpacing(12);

    auto* heading = new QVBoxLayout;
    heading->setSpacing(6);
    heading->addWidget(UiStyle::label(QStringLiteral("소렐을 시작합니다"), 17, QFont::Bold, primary, this));
    heading->addWidget(UiStyle::label(QStringLiteral("글자를 고르고 %1를 누르면 한자 후보가 뜹니다. 두 단계면 됩니다.").arg(shortcut),
                             12.5, QFont::Normal, primary, this));
    root->addLayout(heading);
    root->addSpacing(4);

    // Step 1: the permission.
    auto* step1 = new QHBoxLayout;
    step1->setSpacing(12);
    auto* mark1 = new StepMark(1, this);
    m_mark1 = mark1;
    step1->addWidget(mark1, 0, Qt::AlignTop);
    auto* col1 = new QVBoxLayout;
    col1->setSpacing(7);
    col1->addWidget(UiStyle::label(QStringLiteral("접근성 켜기"), 14, QFont::Bold, primary, this));
    col1->addWidget(UiStyle::label(QStringLiteral("꺼져 있어도 복사와 붙여넣기로 됩니다. 켜면 클립보드를 거치지 않고 바꾸고, 후보 창이 "
                                         "단어 바로 아래에 뜹니다. 글은 이 컴퓨터 밖으로 나가지 않습니다."),
                          12, QFont::Normal, primary, this));
    m_permission = new QPushButton(QStringLiteral("접근성 켜기…"), this);
    m_permission->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(m_permission, &QPushButton::clicked, this, [this] {
        setTrusted(Platform::shared().accessibility->isProcessTrusted(true));
    });
    col1->addWidget(m_permission, 0, Qt::AlignLeft);
    m_permissionHint = UiStyle::label(QStringLiteral("켠 뒤에는 이미 열려 있던 프로그램을 다시 시작해야 할 수도 있습니다."), 11,
                             QFont::Normal, secondary, this);
    col1->addWidget(m_permissionHint);
    m_enabled = UiStyle::label(QStringLiteral("켜졌습니다"), 12, QFont::Medium, UiStyle::accent(), this);
    col1->addWidget(m_enabled);
    step1->addLayout(col1, 1);
    root->addLayout(step1);

    // Step 2: the practice sentence, in a real text view that the session reads and writes.
    m_step2 = new QWidget(this);
    auto* step2 = new QHBoxLayout(m_step2);
    step2->setContentsMargins(0, 0, 0, 0);
    step2->setSpacing(12);
    auto* mark2 = new StepMark(2, m_step2);
    m_mark2 = mark2;
    step2->addWidget(mark2, 0, Qt::AlignTop);
    auto* col2 = new QVBoxLayout;
    col2->setSpacing(7);
    col2->addWidget(UiStyle::label(QStringLiteral("직접 해 보기"), 14, QFont::Bold, primary, m_step2));
    QLabel* body = UiStyle::label(QString(), 12, QFont::Normal, primary, m_step2);
    body->setTextFormat(Qt::RichText);
    body->setText(QStringLiteral("아래 문장의 <b>수도</b>를 더블클릭하고 %1, 이어서 1을 누르세요.").arg(shortcut.toHtmlEscaped()));
    col2->addWidget(body);
    auto* fieldBox = new QFrame(m_step2);
    fieldBox->setObjectName(QStringLiteral("practiceBox"));
    const QColor border = UiStyle::primary(pal, 0.08);
    fieldBox->setStyleSheet(QStringLiteral("QFrame#practiceBox { background: %1; border: 1px solid rgba(%2, %3, %4, %5);"
                                           " border-radius: 8px; }")
                                .arg(UiStyle::textBackground(pal).name())
                                .arg(border.red())
                                .arg(border.green())
                                .arg(border.blue())
                                .arg(border.alphaF()));
    auto* fieldLayout = new QVBoxLayout(fieldBox);
    fieldLayout->setContentsMargins(10, 7, 10, 7);
    m_field = new QPlainTextEdit(QStringLiteral("대한민국의 수도는 서울이다."), fieldBox);
    m_field->setFont(UiStyle::font(15));
    m_field->setFrameShape(QFrame::NoFrame);
    m_field->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_field->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_field->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_field->document()->setDocumentMargin(0);
    m_field->setFixedHeight(26);
    m_field->viewport()->setAutoFillBackground(false);
    m_field->setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; }"));
    m_field->installEventFilter(this); // one line: Return is the window's, not a line break
    fieldLayout->addWidget(m_field);
    col2->addWidget(fieldBox);
    m_done = UiStyle::label(QStringLiteral("됐습니다. 이제 어느 앱에서든 같은 방법으로 쓰면 됩니다."), 12, QFont::Medium, primary, m_step2);
    col2->addWidget(m_done);
    step2->addLayout(col2, 1);
    root->addWidget(m_step2);

    // A Wayland session: how the shortcut reaches Wayland applications, and what they allow.
    m_desktopShortcut = new DesktopShortcutOption(this);
    m_waylandApps = UiStyle::label(QStringLiteral("XWayland 앱에서는 X11 세션과 같이 됩니다. Wayland 앱에서는 글을 접근성으로 "
                                         "바꾸고, 바꿀 수 없는 앱에서는 결과를 복사해 두니 붙여 넣으세요."),
                          11, QFont::Normal, secondary, this);
    auto* wayland = new QVBoxLayout;
    wayland->setContentsMargins(kMark + 12, 0, 0, 0);
    wayland->setSpacing(4);
    wayland->addWidget(m_desktopShortcut);
    wayland->addWidget(m_waylandApps);
    root->addLayout(wayland);

    // Footer.
    root->addSpacing(6);
    auto* footer = new QHBoxLayout;
    footer->setSpacing(10);
    m_footerHint = UiStyle::label(QString(), 11, QFont::Normal, secondary, this);
    footer->addWidget(m_footerHint, 1);
    setTrayPresent(true);
    m_footer = new QPushButton(this);
    connect(m_footer, &QPushButton::clicked, this, &QWidget::close);
    footer->addWidget(m_footer, 0, Qt::AlignVCenter);
    root->addLayout(footer);

    m_trusted = Platform::shared().accessibility->isProcessTrusted(false);
    refresh();
}

OnboardingWindow::~OnboardingWindow() { stop(); }

bool OnboardingWindow::needed()
{
    const bool trusted = Platform::shared().accessibility->isProcessTrusted(false);
    return !trusted || !Defaults::shared().boolean(doneKey);
}

void OnboardingWindow::showIfNeeded()
{
    if (needed()) present();
}

void OnboardingWindow::present()
{
    start();
    show();
    raise();
    activateWindow();
}

void OnboardingWindow::start()
{
    setTrusted(Platform::shared().accessibility->isProcessTrusted(false));
    if (!m_poll) schedulePoll();
    if (!m_observer) {
        QPointer<OnboardingWindow> self = this;
        m_observer = Notifier::shared().observe(Notifications::didReplace, [self] {
            if (self) self->setPracticed();
        });
    }
}

void OnboardingWindow::stop()
{
    m_poll.reset();
    if (m_observer) Notifier::shared().remove(m_observer);
    m_observer = 0;
}

void OnboardingWindow::schedulePoll()
{
    QPointer<OnboardingWindow> self = this;
    m_poll = Platform::shared().clock->after(pollMs, [self] {
        if (!self) return;
        self->setTrusted(Platform::shared().accessibility->isProcessTrusted(false));
        self->schedulePoll();
    });
}

void OnboardingWindow::setTrusted(bool trusted)
{
    if (trusted == m_trusted) return; // an unchanged answer redraws nothing
    m_trusted = trusted;
    refresh();
}

void OnboardingWindow::setPracticed()
{
    m_practiced = true;
    Defaults::shared().setValue(doneKey, true);
    refresh();
}

void OnboardingWindow::refresh()
{
    static_cast<StepMark*>(m_mark1)->setDone(m_trusted);
    static_cast<StepMark*>(m_mark2)->setDone(m_practiced);
    m_permission->setVisible(!m_trusted);
    m_permissionHint->setVisible(!m_trusted);
    m_enabled->setVisible(m_trusted);
    m_done->setVisible(m_practiced);
    m_desktopShortcut->sync();
    m_waylandApps->setVisible(m_desktopShortcut->isVisibleTo(this));
    m_footer->setText(m_practiced ? QStringLiteral("시작하기") : QStringLiteral("닫기"));
    m_footer->setDefault(m_practiced);
    // 420 wide; the height follows the content.
    layout()->activate();
    setFixedHeight(layout()->heightForWidth(kWidth));
}

void OnboardingWindow::closeEvent(QCloseEvent* event)
{
    stop();
    if (m_trusted) Defaults::shared().setValue(doneKey, true);
    QWidget::closeEvent(event);
}

void OnboardingWindow::keyPressEvent(QKeyEvent* event)
{
    // The footer button answers Escape until the practice is done, then Return.
    const bool returnKey = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if ((event->key() == Qt::Key_Escape && !m_practiced) || (returnKey && m_practiced)) {
        m_footer->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool OnboardingWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_field && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            keyPressEvent(key);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void OnboardingWindow::setTrayPresent(bool present)
{
    m_footerHint->setText(present ? QStringLiteral("트레이의 소렐 아이콘에서 단축키와 병기 형식을 바꿀 수 있습니다.")
                                  : QStringLiteral("단축키와 병기 형식은 설정 창에서 바꿉니다: sorelwick --settings, 또는 "
                                                   "응용 프로그램 메뉴에서 소렐을 다시 실행하세요."));
    if (layout()) {
        layout()->activate();
        setFixedHeight(layout()->heightForWidth(kWidth));
    }
}
