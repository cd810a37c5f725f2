#include "ui/ShortcutRecorder.h"

#include "ui/QtKeys.h"
#include "ui/UiStyle.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QWindow>

namespace {

constexpr double kMinWidth = 150;
constexpr double kMinHeight = 26;
constexpr double kHPad = 10;
constexpr double kVPad = 6;
constexpr double kRadius = 9;
constexpr double kCapGap = 4;
constexpr double kCapMin = 22;
constexpr double kCapRadius = 5;
constexpr int kRowGap = 10;
constexpr int kHelpGap = 6;

QFont capFont() { return UiStyle::font(13, QFont::DemiBold); }
QFont promptFont() { return UiStyle::font(12.5); }

// One key cap per modifier held, in the display order, each as Shortcut names it.
QStringList modifierNames(quint64 modifiers)
{
    QStringList names;
    for (quint64 flag : {ModifierFlag::control, ModifierFlag::option, ModifierFlag::shift, ModifierFlag::command})
        if (modifiers & flag) names.append(Shortcut::symbols(flag).chopped(1)); // without its "+"
    return names;
}

double capWidth(const QString& text)
{
    const double pad = text.size() >= 2 ? 5 : 0;
    return std::max(kCapMin, QFontMetricsF(capFont()).horizontalAdvance(text) + 2 * pad);
}

} // namespace

ShortcutRecorder::ShortcutRecorder(QWidget* parent)
    : QWidget(parent)
    , m_side(new QPushButton(this))
    , m_help(new QLabel(this))
{
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    m_side->setFlat(true);
    m_side->setCursor(Qt::PointingHandCursor);
    m_side->setFont(UiStyle::font(12));
    m_help->setWordWrap(true);
    connect(m_side, &QPushButton::clicked, this, [this] {
        if (m_recording) stop();
        else apply(Shortcut::defaultShortcut().keyCode, Shortcut::defaultShortcut().modifiers);
    });
    refresh();
}

ShortcutRecorder::~ShortcutRecorder()
{
    if (m_recording) stop();
}

QRectF ShortcutRecorder::controlRect() const
{
    double content = 0;
    const QStringList caps = capTexts();
    for (const QString& c : caps) content += capWidth(c) + kCapGap;
    if (m_recording) {
        const QString prompt = m_liveMods ? QStringLiteral("…") : QStringLiteral("새 조합을 누르세요");
        content += QFontMetricsF(promptFont()).horizontalAdvance(prompt) + (m_liveMods ? 0 : 2);
    } else if (!caps.isEmpty()) {
        content -= kCapGap;
    }
    const double width = std::max(kMinWidth, content + 2 * kHPad);
    return QRectF(0.75, 0.75, width, std::max(kMinHeight, kCapMin) + 2 * kVPad);
}

QStringList ShortcutRecorder::capTexts() const
{
    if (m_recording) return modifierNames(m_liveMods);
    const Shortcut current = ShortcutCenter::shared().current();
    QStringList caps = modifierNames(current.modifiers);
    caps.append(Shortcut::keyName(current.keyCode));
    return caps;
}

QString ShortcutRecorder::helpText() const
{
    if (m_problem) return *m_problem;
    return m_recording ? QStringLiteral("Ctrl이나 Alt를 포함한 조합을 누르세요. esc로 취소.")
                       : QStringLiteral("눌러서 바꿉니다.");
}

void ShortcutRecorder::refresh()
{
    const bool atDefault = ShortcutCenter::shared().current() == Shortcut::defaultShortcut();
    if (m_recording) m_side->setText(QStringLiteral("취소"));
    else m_side->setText(QStringLiteral("기본값 ") + Shortcut::defaultShortcut().displayString());
    m_side->setVisible(m_recording || !atDefault);
    m_side->adjustSize();

    QPalette pal = m_help->palette();
    const QColor helpColor = m_problem ? UiStyle::accent()
                             : m_recording ? UiStyle::secondary(palette())
                                           : UiStyle::tertiary(palette());
    pal.setColor(QPalette::WindowText, helpColor);
    m_help->setPalette(pal);
    m_help->setFont(UiStyle::font(11.5));
    m_help->setText(helpText());

    const QRectF control = controlRect();
    const int top = int(std::ceil(control.bottom() + 0.75));
    QPalette sidePal = m_side->palette();
    sidePal.setColor(QPalette::ButtonText, UiStyle::secondary(palette()));
    m_side->setPalette(sidePal);
    m_side->move(int(control.right()) + kRowGap, int((top - m_side->height()) / 2));
    const int helpWidth = std::max(width(), int(control.width()) + kRowGap + m_side->width());
    m_help->setFixedWidth(helpWidth);
    m_help->adjustSize();
    m_help->move(0, top + kHelpGap);
    updateGeometry();
    update();
}

QSize ShortcutRecorder::sizeHint() const
{
    const QRectF control = controlRect();
    const int top = int(std::ceil(control.bottom() + 0.75));
    const int width = int(control.width()) + kRowGap + m_side->sizeHint().width();
    return QSize(width, top + kHelpGap + m_help->sizeHint().height());
}

void ShortcutRecorder::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QColor accent = UiStyle::accent();
    const QRectF control = controlRect();

    QPainterPath shape;
    shape.addRoundedRect(control, kRadius, kRadius);
    QColor fill = UiStyle::textBackground(pal);
    if (m_recording) {
        fill = accent;
        fill.setAlphaF(0.08f);
    } else if (m_hover) {
        fill = UiStyle::primary(pal, 0.04);
    }
    p.fillPath(shape, fill);
    p.setPen(QPen(m_recording ? accent : UiStyle::primary(pal, 0.08), 1.5));
    p.drawPath(shape);

    double x = control.left() + kHPad;
    const double capTop = control.center().y() - kCapMin / 2;
    for (const QString& text : capTexts()) {
        const QRectF cap(x, capTop, capWidth(text), kCapMin);
        QPainterPath capShape;
        capShape.addRoundedRect(cap.adjusted(0.5, 0.5, -0.5, -0.5), kCapRadius, kCapRadius);
        p.fillPath(capShape, UiStyle::primary(pal, 0.06));
        p.setPen(QPen(UiStyle::primary(pal, 0.12), 1));
        p.drawPath(capShape);
        p.setFont(capFont());
        p.setPen(m_recording ? accent : UiStyle::primary(pal));
        p.drawText(cap, Qt::AlignCenter, text);
        x = cap.right() + kCapGap;
    }
    if (m_recording) {
        const QString prompt = m_liveMods ? QStringLiteral("…") : QStringLiteral("새 조합을 누르세요");
        p.setFont(promptFont());
        p.setPen(accent);
        const QRectF text(x + (m_liveMods ? 0 : 2) - (m_liveMods ? 0 : kCapGap), control.top(), control.right() - x,
                          control.height());
        p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft, prompt);
    }
}

void ShortcutRecorder::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && controlRect().contains(event->position())) toggle();
}

void ShortcutRecorder::mouseMoveEvent(QMouseEvent* event)
{
    const bool hover = controlRect().contains(event->position());
    if (hover != m_hover) {
        m_hover = hover;
        update();
    }
}

void ShortcutRecorder::leaveEvent(QEvent*)
{
    m_hover = false;
    update();
}

void ShortcutRecorder::toggle()
{
    if (m_recording) stop();
    else start();
}

void ShortcutRecorder::start()
{
    m_problem.reset();
    m_liveMods = 0;
    m_recording = true;
    ShortcutCenter::shared().suspend();
    grabKeyboard();
    // Another window taking the focus ends the recording, as closing or hiding ours does.
    m_focusWatch = connect(qGuiApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* focus) {
        if (m_recording && focus != window()->windowHandle()) stop();
    });
    refresh();
}

void ShortcutRecorder::stop()
{
    if (!m_recording) return;
    disconnect(m_focusWatch);
    if (QWidget::keyboardGrabber() == this) releaseKeyboard();
    m_recording = false;
    m_liveMods = 0;
    ShortcutCenter::shared().resume();
    refresh();
}

void ShortcutRecorder::apply(quint32 keyCode, quint64 modifiers)
{
    const Shortcut attempt{keyCode, modifiers & Shortcut::modifierMask};
    const std::optional<QString> refusal = ShortcutCenter::shared().change(attempt);
    if (refusal) {
        m_problem = attempt.displayString() + QStringLiteral(" — ") + *refusal;
        // A refusal for a failed registration put the old shortcut back; it stays off meanwhile.
        if (m_recording) ShortcutCenter::shared().suspend();
        refresh();
        return;
    }
    m_problem.reset();
    if (m_recording) stop();
    else refresh();
}

void ShortcutRecorder::keyPressEvent(QKeyEvent* event)
{
    if (!m_recording) {
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    const quint64 mods = QtKeys::modifierFlags(event->modifiers()) & Shortcut::modifierMask;
    if (QtKeys::isModifierKey(event->key())) {
        m_liveMods = mods | QtKeys::flagOfModifierKey(event->key());
        refresh();
        return;
    }
    const quint16 key = QtKeys::keyCode(*event);
    if (key == KeyCode::escape && mods == 0) {
        stop();
        return;
    }
    if (key == QtKeys::unknownKey) {
        // Said, not swallowed: a silent recorder looks broken.
        const QString name = QKeySequence(event->key()).toString(QKeySequence::NativeText);
        m_problem = Shortcut::symbols(mods) + (name.isEmpty() ? QStringLiteral("이 키") : name)
            + QStringLiteral(" — 단축키로 쓸 수 없는 키입니다. 다른 키를 눌러 주세요.");
        refresh();
        return;
    }
    apply(key, mods);
}

void ShortcutRecorder::keyReleaseEvent(QKeyEvent* event)
{
    if (!m_recording) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    event->accept();
    if (QtKeys::isModifierKey(event->key())) {
        m_liveMods = (QtKeys::modifierFlags(event->modifiers()) & Shortcut::modifierMask)
            & ~QtKeys::flagOfModifierKey(event->key());
        refresh();
    }
}

void ShortcutRecorder::hideEvent(QHideEvent* event)
{
    stop();
    QWidget::hideEvent(event);
}
