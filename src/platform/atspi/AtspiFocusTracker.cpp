#include "platform/atspi/AtspiFocusTracker.h"

#include "platform/atspi/GErrorSlot.h"

#include "base/Log.h"

#include <cstring>
#include <memory>

namespace {

constexpr const char* focusEvent = "object:state-changed:focused";
constexpr const char* selectionEvent = "object:text-selection-changed";

struct EventFree {
    void operator()(AtspiEvent* e) const { g_boxed_free(ATSPI_TYPE_EVENT, e); }
};

} // namespace

AtspiFocusTracker::AtspiFocusTracker()
{
    m_listener = GObjectRef<AtspiEventListener>::adopt(atspi_event_listener_new(&AtspiFocusTracker::onEvent, this, nullptr));
    for (const char* type : {focusEvent, selectionEvent}) {
        GErrorSlot error;
        if (!atspi_event_listener_register(m_listener.get(), type, error.out()))
            Log::write(QStringLiteral("AT-SPI 이벤트 등록 실패 (%1): %2").arg(QLatin1String(type), error.message()));
    }
}

AtspiFocusTracker::~AtspiFocusTracker()
{
    for (const char* type : {focusEvent, selectionEvent}) {
        GErrorSlot error;
        atspi_event_listener_deregister(m_listener.get(), type, error.out());
    }
}

void AtspiFocusTracker::onEvent(AtspiEvent* raw, void* self)
{
    std::unique_ptr<AtspiEvent, EventFree> event(raw);
    auto* tracker = static_cast<AtspiFocusTracker*>(self);
    if (!event->source) return;
    const bool selected = event->type && std::strncmp(event->type, selectionEvent, std::strlen(selectionEvent)) == 0;
    auto source = [&] { return GObjectRef<AtspiAccessible>::adopt(ATSPI_ACCESSIBLE(g_object_ref(event->source))); };
    if (selected) {
        tracker->m_selected = source();
    } else if (event->detail1) {
        tracker->m_focused = source();
        tracker->m_selected = {};
    } else if (tracker->m_focused.get() == event->source) {
        tracker->m_focused = {};
    }
}
