#pragma once

#include "platform/Accessibility.h"
#include "platform/atspi/AtspiFront.h"
#include "platform/atspi/GObjectRef.h"
#include "platform/Screens.h"
#include "platform/Workspace.h"

#include <chrono>
#include <memory>
#include <optional>

class AtspiBusLink;
class AtspiElement;
class AtspiFocusTracker;

// The accessibility interface on Linux: AT-SPI 2 through libatspi. Reads and writes the focused
// text of other applications, X11 and native Wayland ones alike. Every call to an application
// gives up after the call time-out, so a hung application never hangs the program. Use from the
// thread that runs the GLib main loop (the Qt main thread). Rectangles are answered in the
// screens' coordinates: an application drawing at another scale than this program reports its
// own units, which are taken to device pixels by its window's frame in the workspace.
class AtspiAccessibility : public Accessibility {
public:
    AtspiAccessibility(std::shared_ptr<Screens> screens, std::shared_ptr<Workspace> workspace,
                       std::chrono::milliseconds callTimeout = std::chrono::milliseconds(500));
    ~AtspiAccessibility() override;

    // The accessibility bus answers and org.a11y.Status.IsEnabled is true. With prompt, switches
    // IsEnabled on first (what the desktop's assistive-technology switch does). While the bus is
    // gone (killed, or being restarted by the desktop session), the last answer: the switch is the
    // user's, and a lost bus does not turn it off.
    bool isProcessTrusted(bool prompt = false) override;
    AXElementRef systemWide() override;
    AXElementRef application(Pid pid) override;
    AXResult<Pid> processIdentifier(const AXElementRef& element) override;
    AXResult<AXValue> copyAttributeValue(const AXElementRef& element, const QString& attribute) override;
    AXResult<AXValue> copyParameterizedAttributeValue(const AXElementRef& element, const QString& attribute,
                                                      const AXValue& parameter) override;
    AXError setAttributeValue(const AXElementRef& element, const QString& attribute, const AXValue& value) override;
    quint64 focusEventMark() override;
    FocusReports focusReportsSince(const AXElementRef& element, quint64 mark) override;
    QCoro::Task<std::optional<bool>> nextFocusReport(AXElementRef element, qint64 timeoutMs) override;

    // The application in front as the bus tells it (see AtspiFront); absent without a bus.
    std::optional<AtspiFront::Application> frontApplication();
    // In a Wayland session a window's own coordinates are all a native application can report:
    // rectangles are answered only where the workspace knows the window (an XWayland one).
    void requireKnownWindow(bool required) { m_requireKnownWindow = required; }
    // GTK 4 announces its first focus before its objects are on the bus: where native Wayland
    // applications are to be read, the text whose selection changed last stands in for it.
    void followSelections();

    // The connection to the bus; while it is down every call fails at once (cannotComplete).
    AtspiBusLink& busLink() const { return *m_link; }

private:
    bool connected() const;
    AXResult<AXValue> focusedElement(const AtspiElement& element);
    // The focused object as AT-SPI's events tell it; null when they do not.
    GObjectRef<AtspiAccessible> focusedByEvents() const;
    AXResult<AXValue> selectedText(const AtspiElement& element);
    AXResult<AXValue> selectedRange(const AtspiElement& element);
    AXResult<AXValue> value(const AtspiElement& element);
    AXResult<AXValue> boundsForRange(const AtspiElement& element, const TextRange& range);
    AXError replaceSelection(const AtspiElement& element, const QString& text);
    AXError select(const AtspiElement& element, const TextRange& range);
    // The application's rectangle in the screens' coordinates; as it came when its scale cannot
    // be told.
    // Absent where a window must be known and is not.
    std::optional<QRectF> onOurScreens(const AtspiElement& element, const QRectF& reported);

    std::shared_ptr<Screens> m_screens;
    std::shared_ptr<Workspace> m_workspace;
    std::chrono::milliseconds m_timeout;
    std::unique_ptr<AtspiBusLink> m_link;
    std::unique_ptr<AtspiFocusTracker> m_focus; // only with a bus at start
    std::optional<bool> m_trusted; // the last answer the bus gave
    bool m_requireKnownWindow = false;
};
