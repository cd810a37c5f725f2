#pragma once

#include "platform/Accessibility.h"
#include "platform/atspi/AtspiCalls.h"
#include "platform/atspi/AtspiFocusReports.h"
#include "platform/atspi/AtspiFront.h"
#include "platform/atspi/AtspiThread.h"
#include "platform/Screens.h"
#include "platform/Workspace.h"

#include <QObject>

#include <chrono>
#include <memory>
#include <optional>

class AtspiBusLink;

// The accessibility interface on Linux: AT-SPI 2 through libatspi. Reads and writes the focused
// text of other applications, X11 and native Wayland ones alike. Every call to an application
// gives up after the call time-out, so a hung application never hangs the program; libatspi waits
// on a thread of its own (AtspiThread), where its events are dispatched too, so the awaited forms
// leave this thread's event loop running meanwhile, and the plain ones wait for it. Use from one
// thread (the Qt main thread). Rectangles are answered in the screens' coordinates: an application
// drawing at another scale than this program reports its own units, which are taken to device
// pixels by its window's frame in the workspace.
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

    QCoro::Task<AXElementRef> applicationAsync(Pid pid) override;
    QCoro::Task<AXResult<Pid>> processIdentifierAsync(AXElementRef element) override;
    QCoro::Task<AXResult<AXValue>> copyAttributeValueAsync(AXElementRef element, QString attribute) override;
    QCoro::Task<AXResult<AXValue>> copyParameterizedAttributeValueAsync(AXElementRef element, QString attribute,
                                                                        AXValue parameter) override;
    QCoro::Task<AXError> setAttributeValueAsync(AXElementRef element, QString attribute, AXValue value) override;
    QCoro::Task<SelectionReads> readSelectionAsync(AXElementRef element) override;

    // The application in front as the bus tells it (see AtspiFront); absent without a bus. Asking
    // may wait on a busy application: the plain form answers at once with the answer told last
    // (and asks again meanwhile), the awaited one asks.
    std::optional<AtspiFront::Application> frontApplication();
    QCoro::Task<std::optional<AtspiFront::Application>> frontApplicationAsync();
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
    // A call's job on libatspi's thread: waited for, or awaited. Awaited as a named object: GCC 12
    // destroys a temporary of a co_await expression twice (the lambda's copy of the element).
    template <typename T>
    T wait(std::function<T(AtspiCalls&)> job)
    {
        return m_thread->run<T>([calls = m_calls, job = std::move(job)] { return inLoop<T>(*calls, job); });
    }
    template <typename T>
    AtspiThread::Awaiter<T> await(std::function<T(AtspiCalls&)> job)
    {
        return AtspiThread::Awaiter<T>(*m_thread, &m_home,
                                       [calls = m_calls, job = std::move(job)] { return inLoop<T>(*calls, job); });
    }
    template <typename T>
    static T inLoop(AtspiCalls& calls, const std::function<T(AtspiCalls&)>& job)
    {
        calls.adoptApplicationConnections();
        T result = job(calls);
        calls.adoptApplicationConnections();
        return result;
    }
    // Whether the element can be asked at all: an error at once when it cannot.
    std::optional<AXError> refused(const AXElementRef& element, bool systemWideToo) const;
    // The rectangle in the screens' coordinates; what the application told, where it cannot be placed.
    AXResult<AXValue> placed(const AXResult<AtspiCalls::Bounds>& found);
    std::optional<QRectF> onOurScreens(const AtspiCalls::Bounds& found);

    std::shared_ptr<Screens> m_screens;
    std::shared_ptr<Workspace> m_workspace;
    std::chrono::milliseconds m_timeout;
    std::shared_ptr<AtspiThread> m_thread;
    std::shared_ptr<AtspiCalls> m_calls; // made, used and ended on m_thread
    QObject m_home;                      // where awaited calls go on
    AtspiFocusReports m_focusReports;    // posted to from m_thread until m_calls ends
    std::unique_ptr<AtspiBusLink> m_link;
    AXElementRef m_systemWide;
    std::optional<bool> m_trusted; // the last answer the bus gave
    bool m_requireKnownWindow = false;
    std::optional<AtspiFront::Application> m_front; // told last
    bool m_frontAsked = false;                      // a plain form's question is under way
};
