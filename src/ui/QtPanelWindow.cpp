#include "ui/QtPanelWindow.h"

#include "base/Log.h"
#include "ui/CandidatePanelView.h"
#include "ui/QtKeys.h"
#include "platform/Activation.h"

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QRegion>
#include <QVBoxLayout>
#include <QWindow>

#include <utility>

namespace {

constexpr int kGrabRetryMs = 10;
constexpr int kGrabAttempts = 50; // half a second: the window may not be viewable at once

bool windowSystemGrabs() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

// The box the view paints, in whole pixels.
QRegion roundedRegion(const QRect& r, int radius)
{
    const int d = 2 * radius;
    QRegion region(r.adjusted(radius, 0, -radius, 0));
    region += r.adjusted(0, radius, 0, -radius);
    region += QRegion(r.left(), r.top(), d, d, QRegion::Ellipse);
    region += QRegion(r.right() + 1 - d, r.top(), d, d, QRegion::Ellipse);
    region += QRegion(r.left(), r.bottom() + 1 - d, d, d, QRegion::Ellipse);
    region += QRegion(r.right() + 1 - d, r.bottom() + 1 - d, d, d, QRegion::Ellipse);
    return region;
}

} // namespace

QtPanelWindow::QtPanelWindow(std::function<bool()> composited, std::shared_ptr<PointerWatch> pointerWatch,
                             Activate activate, EndStartup endStartup)
    : QWidget(nullptr, activate ? Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::NoDropShadowWindowHint
                                : Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                                      | Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint
                                      | Qt::NoDropShadowWindowHint)
    , m_pointerWatch(std::move(pointerWatch))
    , m_composited(std::move(composited))
    , m_activate(std::move(activate))
    , m_endStartup(std::move(endStartup))
{
    setAttribute(Qt::WA_TranslucentBackground);
    if (!m_activate) {
        // The window manager never sees it: it neither places nor focuses it.
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_X11DoNotAcceptFocus);
        setAttribute(Qt::WA_X11NetWmWindowTypePopupMenu);
    }
    setWindowTitle(QStringLiteral("소렐"));
    setMouseTracking(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_grabRetry.setInterval(kGrabRetryMs);
    connect(&m_grabRetry, &QTimer::timeout, this, &QtPanelWindow::grabInput);
    create(); // the native window exists before the first press needs it
}

QtPanelWindow::~QtPanelWindow()
{
    watchPointer(false);
    releaseInput();
}

void QtPanelWindow::setContent(PanelModel& model, double width)
{
    // The loading header and then the list come from the same model: one view serves both, and
    // every later session.
    if (m_view && m_view->shows(model, width)) return;
    if (m_view) {
        layout()->removeWidget(m_view);
        m_view->hide();
        m_view->deleteLater();
    }
    m_view = new CandidatePanelView(model, width, this);
    layout()->addWidget(m_view);
    m_view->show();
}

QSizeF QtPanelWindow::fittingSize()
{
    if (!m_view) return QSizeF();
    layout()->activate();
    return m_view->sizeHint();
}

void QtPanelWindow::setFrame(const QRectF& frame)
{
    const QRect r = frame.toAlignedRect();
    setFixedSize(r.size());
    if (m_view) m_view->resize(r.size());
    move(r.topLeft());
}

void QtPanelWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitShape(); // the expanded list grows the window without a new frame
}

void QtPanelWindow::fitShape()
{
    if (m_cutToShape) setMask(roundedRegion(rect(), int(CandidatePanelView::cornerRadius)));
    else clearMask();
    if (m_view) m_view->setCutToShape(m_cutToShape);
}

QRectF QtPanelWindow::frame() const { return QRectF(geometry()); }

void QtPanelWindow::orderFront()
{
    // Asked at each show (a compositor may start or stop meanwhile), not at each resize.
    m_cutToShape = !m_composited();
    fitShape();
    if (!QWidget::isVisible()) {
        // Mutter takes an activation token and an X startup id alike.
        const Activation given = Activation::takePending();
        m_startupId = given.xdgActivationToken.isEmpty() ? given.desktopStartupId : given.xdgActivationToken;
        if (!m_activate && m_endStartup && !m_startupId.isEmpty()) m_endStartup(std::exchange(m_startupId, {}));
    }
    show();
    if (windowSystemGrabs()) raise();
    m_grabAttempts = 0;
    watchPointer(true);
    grabInput();
}

void QtPanelWindow::orderOut()
{
    watchPointer(false);
    releaseInput();
    hide();
}

void QtPanelWindow::grabInput()
{
    if (!QWidget::isVisible()) {
        m_grabRetry.stop();
        return;
    }
    if (m_activate) {
        takeFocus();
        return;
    }
    // Only X11 has grabs to take; elsewhere (offscreen) events are delivered to us directly.
    if (!windowSystemGrabs()) return;
    QWindow* window = windowHandle();
    if (!m_keyboardGrabbed) {
        grabKeyboard();
        m_keyboardGrabbed = window && window->setKeyboardGrabEnabled(true);
    }
    if (!m_pointerGrabbed && !m_watching) {
        grabMouse();
        m_pointerGrabbed = window && window->setMouseGrabEnabled(true);
    }
    if (m_keyboardGrabbed && (m_pointerGrabbed || m_watching)) {
        m_grabRetry.stop();
        return;
    }
    if (++m_grabAttempts >= kGrabAttempts) {
        m_grabRetry.stop();
        Log::write(QStringLiteral("패널: 입력을 잡지 못함 (키보드 %1, 포인터 %2)")
                      .arg(m_keyboardGrabbed ? QStringLiteral("예") : QStringLiteral("아니오"),
                           m_pointerGrabbed ? QStringLiteral("예") : QStringLiteral("아니오")));
        return;
    }
    if (!m_grabRetry.isActive()) m_grabRetry.start();
}

void QtPanelWindow::takeFocus()
{
    if (isActiveWindow()) {
        m_grabRetry.stop();
        return;
    }
    // Asked again at each retry: the first request may come before the window is mapped.
    if (m_activate(winId(), m_startupId)) m_startupId.clear();
    if (++m_grabAttempts >= kGrabAttempts) {
        m_grabRetry.stop();
        Log::write(QStringLiteral("패널: 키보드 포커스를 받지 못함"));
        return;
    }
    if (!m_grabRetry.isActive()) m_grabRetry.start();
}

void QtPanelWindow::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (!m_activate || event->type() != QEvent::ActivationChange) return;
    if (isActiveWindow()) {
        m_hadFocus = true;
        m_grabRetry.stop();
        return;
    }
    // Another window took the focus (a click or the desktop's switcher): as a click outside.
    if (m_hadFocus && QWidget::isVisible()) {
        m_hadFocus = false;
        const ClickHandler monitor = m_clickMonitor;
        if (monitor) monitor();
    }
}

void QtPanelWindow::releaseInput()
{
    m_hadFocus = false;
    m_grabRetry.stop();
    if (QWidget::keyboardGrabber() == this) releaseKeyboard();
    if (QWidget::mouseGrabber() == this) releaseMouse();
    m_keyboardGrabbed = false;
    m_pointerGrabbed = false;
    m_pressTarget = nullptr;
}

void QtPanelWindow::watchPointer(bool on)
{
    if (!m_pointerWatch || on == m_watching) return;
    if (!on) {
        m_pointerWatch->watch(nullptr);
        m_watching = false;
        return;
    }
    m_watching = m_pointerWatch->watch([this] {
        // A press on the panel itself is the panel's (a row's click).
        if (!QWidget::isVisible() || geometry().contains(QCursor::pos())) return;
        const ClickHandler monitor = m_clickMonitor;
        if (monitor) monitor();
    });
}

void QtPanelWindow::keyPressEvent(QKeyEvent* event)
{
    // Holding Alt for Alt+1 must not close the panel: modifier keys are no key presses of their
    // own to the monitor, as they are not on other desktops.
    if (QtKeys::isModifierKey(event->key())) {
        event->accept();
        return;
    }
    if (!m_keyMonitor) {
        event->ignore();
        return;
    }
    const KeyEvent key{QtKeys::keyCode(*event), QtKeys::modifierFlags(event->modifiers()), event->nativeScanCode()};
    // Copied first: the handler may dismiss the panel and remove itself.
    const KeyHandler monitor = m_keyMonitor;
    if (monitor(key)) event->accept();
    else event->ignore();
}

bool QtPanelWindow::forwardMouse(QMouseEvent* event)
{
    QWidget* target = m_pressTarget;
    if (!target) {
        QWidget* child = childAt(event->position().toPoint());
        if (!child || child == this) return false;
        target = child;
    }
    QMouseEvent copy(event->type(), target->mapFrom(this, event->position()), event->globalPosition(),
                     event->button(), event->buttons(), event->modifiers(), event->pointingDevice());
    QCoreApplication::sendEvent(target, &copy);
    return true;
}

void QtPanelWindow::mousePressEvent(QMouseEvent* event)
{
    if (!rect().contains(event->position().toPoint())) {
        event->accept();
        const ClickHandler monitor = m_clickMonitor;
        if (monitor) monitor();
        return;
    }
    if (QWidget::mouseGrabber() == this) {
        QWidget* child = childAt(event->position().toPoint());
        m_pressTarget = child != this ? child : nullptr;
        forwardMouse(event);
    }
    event->accept();
}

void QtPanelWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (m_view) m_view->hoverAt(event->globalPosition().toPoint());
    if (QWidget::mouseGrabber() == this && rect().contains(event->position().toPoint())) forwardMouse(event);
    event->accept();
}

void QtPanelWindow::mouseReleaseEvent(QMouseEvent* event)
{
    if (QWidget::mouseGrabber() == this && (m_pressTarget || rect().contains(event->position().toPoint())))
        forwardMouse(event);
    m_pressTarget = nullptr;
    event->accept();
}
