#include "platform/atspi/AtspiFront.h"

#include "platform/atspi/GErrorSlot.h"
#include "platform/atspi/GMemory.h"
#include "platform/atspi/GObjectRef.h"

#include <deque>


namespace {

using Accessible = GObjectRef<AtspiAccessible>;

bool hasState(AtspiAccessible* accessible, AtspiStateType state)
{
    auto states = GObjectRef<AtspiStateSet>::adopt(atspi_accessible_get_state_set(accessible));
    return states && atspi_state_set_contains(states.get(), state);
}

struct Known {
    Accessible application; // held, so that its address stays its own
    AtspiFront::Application described;
    bool named = false;
};

// The applications asked last; a few are enough, the user switches between a few.
std::deque<Known>& known()
{
    static std::deque<Known> list;
    return list;
}

Known* knownProcess(AtspiAccessible* application)
{
    for (Known& k : known())
        if (k.application.get() == application) return &k;
    GErrorSlot error;
    const auto pid = Pid(atspi_accessible_get_process_id(application, error.out()));
    if (error.failed() || pid <= 0) return nullptr;
    if (known().size() >= 8) known().pop_back();
    known().push_front({Accessible::adopt(ATSPI_ACCESSIBLE(g_object_ref(application))), {pid, QString()}, false});
    return &known().front();
}

std::optional<AtspiFront::Application> describe(AtspiAccessible* application)
{
    Known* k = knownProcess(application);
    if (!k) return std::nullopt;
    if (!k->named) {
        GErrorSlot error;
        GOwned<gchar> name(atspi_accessible_get_name(application, error.out()));
        k->described.name = name ? QString::fromUtf8(name.get()) : QString();
        k->named = !error.failed();
    }
    return k->described;
}

bool hasActiveWindow(AtspiAccessible* application)
{
    GErrorSlot error;
    const gint windows = atspi_accessible_get_child_count(application, error.out());
    for (gint i = 0; i < windows && !error.failed(); ++i) {
        Accessible window = Accessible::adopt(atspi_accessible_get_child_at_index(application, i, error.out()));
        if (window && hasState(window.get(), ATSPI_STATE_ACTIVE)) return true;
    }
    return false;
}

} // namespace

GObjectRef<AtspiAccessible> AtspiFront::applicationOf(AtspiAccessible* object)
{
    if (AtspiApplication* app = object->parent.app; app && app->root)
        return Accessible::adopt(ATSPI_ACCESSIBLE(g_object_ref(app->root)));
    GErrorSlot error;
    return Accessible::adopt(atspi_accessible_get_application(object, error.out()));
}

Pid AtspiFront::processOf(AtspiAccessible* object)
{
    Accessible app = applicationOf(object);
    const Known* k = app ? knownProcess(app.get()) : nullptr;
    return k ? k->described.pid : 0;
}

std::optional<AtspiFront::Application> AtspiFront::find(AtspiAccessible* lastFocused, AtspiAccessible* lastActivated)
{
    if (lastActivated && hasState(lastActivated, ATSPI_STATE_ACTIVE)) {
        if (Accessible app = applicationOf(lastActivated)) return describe(app.get());
    }
    Accessible focusedApp = lastFocused ? applicationOf(lastFocused) : Accessible{};
    // Asked first and alone: every other application costs a round trip per window, and a busy
    // shell answers slowly (half a second for all of them on a loaded machine).
    if (focusedApp && hasActiveWindow(focusedApp.get())) return describe(focusedApp.get());
    Accessible desktop = Accessible::adopt(atspi_get_desktop(0));
    if (!desktop) return std::nullopt;
    GErrorSlot error;
    const gint count = atspi_accessible_get_child_count(desktop.get(), error.out());
    for (gint i = 0; i < count && !error.failed(); ++i) {
        Accessible app = Accessible::adopt(atspi_accessible_get_child_at_index(desktop.get(), i, error.out()));
        if (app && app.get() != focusedApp.get() && hasActiveWindow(app.get())) return describe(app.get());
    }
    if (focusedApp && hasState(lastFocused, ATSPI_STATE_FOCUSED)) return describe(focusedApp.get());
    return std::nullopt;
}
