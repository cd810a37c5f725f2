#pragma once

#include "platform/OwnWindows.h"
#include "platform/PanelWindow.h"
#include "platform/Screens.h"

#include <QList>

#include <functional>
#include <memory>
#include <optional>

class MemoryScreens : public Screens {
public:
    // One 1440 × 900 screen with a 25-point panel at the top.
    MemoryScreens();

    QList<Screen> screens() override { return list; }
    std::optional<Screen> mainScreen() override;
    std::optional<QPointF> mouseLocation() override { return mouse; }
    std::optional<QRectF> focusedWindowFrame() override { return focusedWindow; }
    // The simulated desktop has no scale of its own.
    QRectF fromDevicePixels(const QRectF& rect) override { return rect; }

    QList<Screen> list;
    std::optional<qsizetype> mainIndex = 0; // index into list; absent: no main screen
    QPointF mouse{500, 500};
    std::optional<QRectF> focusedWindow; // absent: nobody's window is known to have the focus
};

// The panel window, recording what the controller did with it.
class MemoryPanelWindow : public PanelWindow {
public:
    void setContent(PanelModel& model, double width) override;
    bool hasContent() const override { return m_model != nullptr; }
    QSizeF fittingSize() override;
    void setFrame(const QRectF& frame) override;
    QRectF frame() const override { return m_frame; }
    void orderFront() override;
    void orderOut() override;
    bool isVisible() const override { return m_visible; }
    void setKeyMonitor(KeyHandler handler) override { m_keyMonitor = std::move(handler); }
    void setOutsideClickMonitor(ClickHandler handler) override { m_clickMonitor = std::move(handler); }
    bool hasKeyMonitor() const override { return bool(m_keyMonitor); }
    bool hasOutsideClickMonitor() const override { return bool(m_clickMonitor); }

    // What the content asks for; a sizer, when set, derives it from the model.
    QSizeF contentSize{320, 150};
    std::function<QSizeF(PanelModel&)> sizer;

    // The user types over the panel; absent when no key monitor is installed.
    std::optional<bool> pressKey(quint16 keyCode, quint64 flags = 0);
    // The user clicks in another application.
    void clickOutside();

    PanelModel* model() const { return m_model; }
    double contentWidth() const { return m_width; }
    int contentBuilds() const { return m_contentBuilds; }
    int orderFrontCount() const { return m_orderFronts; }
    int orderOutCount() const { return m_orderOuts; }
    const QList<QRectF>& frames() const { return m_frames; }

private:
    PanelModel* m_model = nullptr;
    double m_width = 0;
    int m_contentBuilds = 0;
    int m_orderFronts = 0;
    int m_orderOuts = 0;
    bool m_visible = false;
    QRectF m_frame;
    QList<QRectF> m_frames;
    KeyHandler m_keyMonitor;
    ClickHandler m_clickMonitor;
};

class MemoryTextView : public OwnTextView {
public:
    QString text() const override { return content; }
    TextRange selectedRange() const override { return selection; }
    QRectF firstRect(TextRange range) const override;
    void insertText(const QString& text, TextRange replacementRange) override;

    QString content;
    TextRange selection;
    QPointF origin{300, 300}; // where the text starts on screen
};

class MemoryOwnWindows : public OwnWindows {
public:
    std::shared_ptr<OwnTextView> focusedTextView() override { return focused; }

    std::shared_ptr<MemoryTextView> focused; // null: no text view has the focus
};
