#include "platform/atspi/AtspiFront.h"

#include "platform/atspi/GErrorSlot.h"
#include "platform/atspi/GMemory.h"
#include "platform/atspi/GObjectRef.h"

#include <vector>

namespace {

using Accessible = GObjectRef<AtspiAccessible>;

bool hasState(AtspiAccessible* accessible, AtspiStateType state)
{
    auto states = GObjectRef<AtspiStateSet>::adopt(atspi_accessible_get_state_set(accessible));
    return states && atspi_state_set_contains(states.get(), state);
}

std::optional<AtspiFront::Application> describe(AtspiAccessible* application)
{
    GErrorSlot error;
    const auto pid = Pid(atspi_accessible_get_process_id(application, error.out()));
    if (error.failed() || pid <= 0) return std::nullopt;
    GErrorSlot nameError;
    GOwned<gchar> name(atspi_accessible_get_name(application, nameError.out()));
    return AtspiFront::Application{pid, name ? QString::fromUtf8(name.get()) : QString()};
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

std::optional<AtspiFront::Application> AtspiFront::find(AtspiAccessible* lastFocused)
{
    Accessible focusedApp;
    if (lastFocused) {
        GErrorSlot error;
        focusedApp = Accessible::adopt(atspi_accessible_get_application(lastFocused, error.out()));
    }
    Accessible desktop = Accessible::adopt(atspi_get_desktop(0));
    if (!desktop) return std::nullopt;
    std::vector<Accessible> active;
    GErrorSlot error;
    const gint count = atspi_accessible_get_child_count(desktop.get(), error.out());
    for (gint i = 0; i < count && !error.failed(); ++i) {
        Accessible app = Accessible::adopt(atspi_accessible_get_child_at_index(desktop.get(), i, error.out()));
        if (app && hasActiveWindow(app.get())) active.push_back(std::move(app));
    }
    for (const Accessible& app : active)
        if (app.get() == focusedApp.get()) return describe(app.get());
    if (!active.empty()) return describe(active.front().get());
    if (focusedApp && hasState(lastFocused, ATSPI_STATE_FOCUSED)) return describe(focusedApp.get());
    return std::nullopt;
}
