#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>

#include <functional>

class PanelModel;

// A key press as the panel's key monitor sees it: ANSI virtual key code and ModifierFlag flags.
struct KeyEvent {
    quint16 keyCode = 0;
    quint64 modifierFlags = 0;
    quint32 nativeKey = 0; // the keyboard's own code of the key pressed (X keycode), 0 when not known
};

// The borderless, non-activating floating window of the candidate list. It takes the keyboard
// without taking activation from the application in front. Created once and reused; the
// controller fills, sizes and places it, and receives its keys and outside clicks.
class PanelWindow {
public:
    // True when the key was consumed. The window holds the keyboard, so it passes on nothing
    // itself: the controller hands a key it does not consume to the application in front.
    using KeyHandler = std::function<bool(const KeyEvent&)>;
    using ClickHandler = std::function<void()>;

    virtual ~PanelWindow() = default;

    // Rebuilds the content view for the model at the given width (the view watches the model).
    virtual void setContent(PanelModel& model, double width) = 0;
    virtual bool hasContent() const = 0;
    // The size the content wants now; lays the content out first.
    virtual QSizeF fittingSize() = 0;
    // Global coordinates, origin top left (see Screens).
    virtual void setFrame(const QRectF& frame) = 0;
    virtual QRectF frame() const = 0;
    // Makes the window key and orders it front without activating this program.
    virtual void orderFront() = 0;
    virtual void orderOut() = 0;
    virtual bool isVisible() const = 0;

    // Key-down events that reach the window while it is up; an empty handler removes the monitor.
    virtual void setKeyMonitor(KeyHandler handler) = 0;
    // Mouse-down events addressed to other applications; an empty handler removes the monitor.
    virtual void setOutsideClickMonitor(ClickHandler handler) = 0;
    virtual bool hasKeyMonitor() const = 0;
    virtual bool hasOutsideClickMonitor() const = 0;
};
