#pragma once

#include "platform/HotKeyService.h"
#include "platform/OwnWindows.h"
#include "platform/PanelWindow.h"
#include "platform/Screens.h"

#include <QList>
#include <QSet>

#include <map>
#include <memory>
#include <optional>
#include <utility>

// Hot keys without a display. Combinations in takenByOthers are refused as another program's.
class FakeHotKeyService : public HotKeyService {
public:
    using Combination = std::pair<quint32, quint32>; // key code, hot-key modifiers

    void installEventHandler(Dispatch dispatch) override;
    Registration registerHotKey(quint32 keyCode, quint32 carbonModifiers, quint32 id) override;
    void unregisterHotKey(quint64 ref) override;

    // The user presses a combination; true when a registered hot key received it.
    bool press(quint32 keyCode, quint32 carbonModifiers);
    bool isRegistered(quint32 keyCode, quint32 carbonModifiers) const;
    qsizetype registeredCount() const { return qsizetype(m_registered.size()); }
    int handlerInstalls() const { return m_handlerInstalls; }

    QSet<Combination> takenByOthers;

private:
    struct Entry {
        Combination combination;
        quint32 id;
    };
    Dispatch m_dispatch;
    int m_handlerInstalls = 0;
    std::map<quint64, Entry> m_registered; // by ref
    quint64 m_nextRef = 1;
};

class FakeScreens : public Screens {
public:
    // One 1440 × 900 screen with a 25-point panel at the top.
    FakeScreens();

    QList<Screen> screens() override { return list; }
    std::optional<Screen> mainScreen() override;
    QPointF mouseLocation() override { return mouse; }

    QList<Screen> list;
    std::optional<qsizetype> mainIndex = 0; // index into list; absent: no main screen
    QPointF mouse{500, 500};
};

// The panel window, recording what the controller did with it.
class RecordingPanelWindow : public PanelWindow {
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

class FakeTextView : public OwnTextView {
public:
    QString text() const override { return content; }
    TextRange selectedRange() const override { return selection; }
    QRectF firstRect(TextRange range) const override;
    void insertText(const QString& text, TextRange replacementRange) override;

    QString content;
    TextRange selection;
    QPointF origin{300, 300}; // where the text starts on screen
};

class FakeOwnWindows : public OwnWindows {
public:
    std::shared_ptr<OwnTextView> focusedTextView() override { return focused; }

    std::shared_ptr<FakeTextView> focused; // null: no text view has the focus
};
