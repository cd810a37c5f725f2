#pragma once

#include "platform/PanelWindow.h"
#include "platform/PointerWatch.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

class CandidatePanelView;

// The candidate panel's window: frameless, translucent, above other windows, and never active
// (it must not take the accessibility focus from the application in front). While it is up it
// holds an explicit keyboard grab, so keys reach the key monitor; presses outside it are seen
// through the pointer watch and still reach the window they are for. Without a watch it grabs the
// pointer too (the press outside then goes nowhere else). The grabs end when it is ordered out.
// Created once.
// Where nothing composites windows (composited() false), its alpha would show black: the window
// is then cut to the rounded box.
//
// Where grabs are ignored (an XWayland window under a Wayland compositor) the window instead takes
// the keyboard focus while it is up, through activate (asked again until the focus comes), and
// the compositor gives it back to the window before it once the panel is hidden. A focus lost
// meanwhile counts as a click outside. The startup id the desktop gave the press that shows it
// goes with that request; a panel that grabs ends its startup sequence through endStartup.
class QtPanelWindow : public QWidget, public PanelWindow {
    Q_OBJECT
public:
    using Activate = std::function<bool(WId, const QByteArray& startupId)>;
    using EndStartup = std::function<void(const QByteArray& startupId)>;
    explicit QtPanelWindow(std::function<bool()> composited = [] { return true; },
                           std::shared_ptr<PointerWatch> pointerWatch = nullptr, Activate activate = {},
                           EndStartup endStartup = {});
    ~QtPanelWindow() override;

    void setContent(PanelModel& model, double width) override;
    bool hasContent() const override { return m_view != nullptr; }
    QSizeF fittingSize() override;
    void setFrame(const QRectF& frame) override;
    QRectF frame() const override;
    void orderFront() override;
    void orderOut() override;
    bool isVisible() const override { return QWidget::isVisible(); }

    void setKeyMonitor(KeyHandler handler) override { m_keyMonitor = std::move(handler); }
    void setOutsideClickMonitor(ClickHandler handler) override { m_clickMonitor = std::move(handler); }
    bool hasKeyMonitor() const override { return bool(m_keyMonitor); }
    bool hasOutsideClickMonitor() const override { return bool(m_clickMonitor); }

    CandidatePanelView* view() const { return m_view; }
    // Whether the window system granted the grabs (it does not on the offscreen platform).
    bool holdsKeyboard() const { return m_keyboardGrabbed || (m_activate && isActiveWindow()); }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Tab is a key of the panel (spelling one character at a time), not a move of the focus.
    bool focusNextPrevChild(bool) override { return false; }
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fitShape();
    void grabInput();
    void takeFocus();
    void releaseInput();
    // With the pointer grabbed every mouse event comes to the window; it hands those inside on
    // to the child under the pointer (or to the one that took the press).
    bool forwardMouse(QMouseEvent* event);
    void watchPointer(bool on);

    std::shared_ptr<PointerWatch> m_pointerWatch;
    bool m_watching = false;
    std::function<bool()> m_composited;
    Activate m_activate;
    EndStartup m_endStartup;
    QByteArray m_startupId; // the desktop's, for this showing; used once
    bool m_hadFocus = false;
    bool m_cutToShape = false;
    QPointer<CandidatePanelView> m_view;
    KeyHandler m_keyMonitor;
    ClickHandler m_clickMonitor;
    QTimer m_grabRetry;
    int m_grabAttempts = 0;
    bool m_keyboardGrabbed = false;
    bool m_pointerGrabbed = false;
    QPointer<QWidget> m_pressTarget;
};
