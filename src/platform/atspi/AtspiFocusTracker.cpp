#include "platform/atspi/AtspiFocusTracker.h"

#include "platform/atspi/AtspiFocusReports.h"

#include "platform/atspi/GErrorSlot.h"

#include "base/Log.h"

#include <cstring>
#include <memory>

namespace {

constexpr const char* focusEvent = "object:state-changed:focused";
constexpr const char* selectionEvent = "object:text-selection-changed";
constexpr const char* activeEvent = "object:state-changed:active";

struct EventFree {
    void operator()(AtspiEvent* e) const { g_boxed_free(ATSPI_TYPE_EVENT, e); }
};

} // namespace

AtspiFocusTracker::AtspiFocusTracker(AtspiFocusReports* reports) : m_reports(reports)
{
    m_listener = GObjectRef<AtspiEventListener>::adopt(atspi_event_listener_new(&AtspiFocusTracker::onEvent, this, nullptr));
    GErrorSlot error;
    if (!atspi_event_listener_register(m_listener.get(), focusEvent, error.out()))
        Log::write(QStringLiteral("AT-SPI 포커스 이벤트 등록 실패: %1").arg(error.message()));
}

void AtspiFocusTracker::followSelections()
{
    if (m_followsSelections) return;
    GErrorSlot error, activeError;
    m_followsSelections = atspi_event_listener_register(m_listener.get(), selectionEvent, error.out())
        && atspi_event_listener_register(m_listener.get(), activeEvent, activeError.out());
    if (!m_followsSelections)
        Log::write(QStringLiteral("AT-SPI 선택 이벤트 등록 실패: %1%2").arg(error.message(), activeError.message()));
}

AtspiFocusTracker::~AtspiFocusTracker()
{
    GErrorSlot error;
    atspi_event_listener_deregister(m_listener.get(), focusEvent, error.out());
    if (m_followsSelections) {
        GErrorSlot selectionError, activeError;
        atspi_event_listener_deregister(m_listener.get(), selectionEvent, selectionError.out());
        atspi_event_listener_deregister(m_listener.get(), activeEvent, activeError.out());
    }
}

void AtspiFocusTracker::onEvent(AtspiEvent* raw, void* self)
{
    std::unique_ptr<AtspiEvent, EventFree> event(raw);
    auto* tracker = static_cast<AtspiFocusTracker*>(self);
    if (!event->source) return;
    const auto is = [&](const char* type) { return event->type && std::strncmp(event->type, type, std::strlen(type)) == 0; };
    auto source = [&] { return GObjectRef<AtspiAccessible>::adopt(ATSPI_ACCESSIBLE(g_object_ref(event->source))); };
    if (is(activeEvent)) {
        if (event->detail1) tracker->m_active = source();
        else if (tracker->m_active.get() == event->source) tracker->m_active = {};
    } else if (is(selectionEvent)) {
        tracker->m_selected = source();
    } else {
        if (event->detail1) {
            tracker->m_focused = source();
            tracker->m_lastFocused = tracker->m_focused;
            tracker->m_selected = {};
        } else if (tracker->m_focused.get() == event->source) {
            tracker->m_focused = {};
        }
        const QByteArray bus = busNameOf(event->source);
        if (!bus.isEmpty()) tracker->m_reports->post(bus, event->detail1 != 0);
    }
}

QByteArray AtspiFocusTracker::busNameOf(AtspiAccessible* object)
{
    const AtspiApplication* app = object ? ATSPI_OBJECT(object)->app : nullptr;
    return app && app->bus_name ? QByteArray(app->bus_name) : QByteArray();
}
