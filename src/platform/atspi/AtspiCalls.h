#pragma once

#include "platform/Accessibility.h"
#include "platform/atspi/AtspiFront.h"
#include "platform/atspi/GObjectRef.h"
#include "platform/atspi/ToolkitUnits.h"

#include <dbus/dbus.h>

#include <chrono>
#include <memory>
#include <optional>

class AtspiElement;
class AtspiFocusReports;
class AtspiFocusTracker;
class AtspiThread;

// Every libatspi call of the accessibility service: made, and the object made and ended, on
// libatspi's thread only (see AtspiThread). Each call to an application gives up after the call
// time-out. Rectangles are answered as the application reports them; placing them on the screens
// is left to the caller, whose thread knows the screens.
class AtspiCalls {
public:
    // What an application tells of a range's rectangle: in its own units, with its window's.
    struct Bounds {
        QRectF reported;
        std::optional<QRectF> window; // absent when the application does not tell
        Pid pid = 0;                  // 0 when it cannot be told
    };

    // Applications' focus events are posted to `focusReports`, which outlives this.
    AtspiCalls(std::chrono::milliseconds callTimeout, std::shared_ptr<AtspiThread> thread,
               AtspiFocusReports* focusReports);
    ~AtspiCalls();
    AtspiCalls(const AtspiCalls&) = delete;
    AtspiCalls& operator=(const AtspiCalls&) = delete;

    // libatspi's connection to the bus; null when there was none to join.
    DBusConnection* bus() const { return m_bus; }
    AXElementRef systemWide() const { return m_systemWide; }

    AXElementRef application(Pid pid);
    AXResult<Pid> processIdentifier(const AtspiElement& element);
    AXResult<AXValue> copy(const AtspiElement& element, const QString& attribute);
    AXResult<Bounds> bounds(const AtspiElement& element, const TextRange& range);
    AXError set(const AtspiElement& element, const QString& attribute, const AXValue& value);
    std::optional<AtspiFront::Application> frontApplication();
    void followSelections();
    // libatspi 2.46 hands each application's own connection (opened on first contact) to the
    // default GLib context, the program's main loop: taken to this thread's loop, before and after
    // each call, or the main thread would dispatch it beside this one.
    void adoptApplicationConnections();

private:
    AXElementRef element(GObjectRef<AtspiAccessible> accessible, ToolkitUnits units, bool systemWide = false) const;
    AXResult<AXValue> focusedElement(const AtspiElement& element);
    // The focused object as AT-SPI's events tell it; null when they do not.
    GObjectRef<AtspiAccessible> focusedByEvents() const;
    AXResult<AXValue> selectedText(const AtspiElement& element);
    AXResult<AXValue> selectedRange(const AtspiElement& element);
    AXResult<AXValue> value(const AtspiElement& element);
    AXError replaceSelection(const AtspiElement& element, const QString& text);
    AXError select(const AtspiElement& element, const TextRange& range);

    std::chrono::milliseconds m_timeout;
    std::shared_ptr<AtspiThread> m_thread;
    DBusConnection* m_bus = nullptr;
    std::unique_ptr<AtspiFocusTracker> m_focus; // only with a bus
    AXElementRef m_systemWide;
    GSource* m_adopting = nullptr; // adoptApplicationConnections before each loop iteration
};
