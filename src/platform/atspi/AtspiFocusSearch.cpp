#include "platform/atspi/AtspiFocusSearch.h"

#include "platform/atspi/GErrorSlot.h"

#include <QElapsedTimer>

#include <deque>
#include <vector>

namespace {
// A walk looks at most this many objects (an editor window has a few dozen).
constexpr int walkLimit = 400;
} // namespace

namespace AtspiFocusSearch {

using Accessible = GObjectRef<AtspiAccessible>;

bool hasState(AtspiAccessible* accessible, AtspiStateType state)
{
    GObjectRef<AtspiStateSet> states = GObjectRef<AtspiStateSet>::adopt(atspi_accessible_get_state_set(accessible));
    return states && atspi_state_set_contains(states.get(), state);
}

bool hasText(AtspiAccessible* accessible)
{
    return GObjectRef<AtspiText>::adopt(atspi_accessible_get_text_iface(accessible)).get() != nullptr;
}

// The focused object below the application, asked of its Collection interface in one call.
// Absent also when the application has no Collection interface (Qt).
std::optional<Accessible> focusedByCollection(AtspiAccessible* application)
{
    auto collection = GObjectRef<AtspiCollection>::adopt(atspi_accessible_get_collection_iface(application));
    if (!collection) return std::nullopt;
    GArray* wanted = g_array_new(FALSE, FALSE, sizeof(AtspiStateType));
    AtspiStateType focused = ATSPI_STATE_FOCUSED;
    g_array_append_val(wanted, focused);
    auto states = GObjectRef<AtspiStateSet>::adopt(atspi_state_set_new(wanted));
    g_array_free(wanted, TRUE);
    auto rule = GObjectRef<AtspiMatchRule>::adopt(atspi_match_rule_new(
        states.get(), ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, nullptr,
        ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, FALSE));
    GErrorSlot error;
    GArray* matches = atspi_collection_get_matches(collection.get(), rule.get(), ATSPI_Collection_SORT_ORDER_CANONICAL,
                                                   4, TRUE, error.out());
    if (!matches) return std::nullopt;
    std::vector<Accessible> found;
    for (guint i = 0; i < matches->len; ++i)
        found.push_back(Accessible::adopt(g_array_index(matches, AtspiAccessible*, i)));
    g_array_free(matches, TRUE);
    if (error.failed()) return std::nullopt;
    for (Accessible& a : found)
        if (hasText(a.get())) return a;
    return Accessible{};
}

// The focused text object found by looking through the application's active window (its other
// windows after it), breadth first, within the object limit and the time allowed.
Accessible focusedByWalk(AtspiAccessible* application, std::chrono::milliseconds allowed)
{
    QElapsedTimer clock;
    clock.start();
    std::deque<Accessible> queue;
    GErrorSlot error;
    const gint windows = atspi_accessible_get_child_count(application, error.out());
    for (gint i = 0; i < windows && !error.failed(); ++i) {
        Accessible window = Accessible::adopt(atspi_accessible_get_child_at_index(application, i, error.out()));
        if (!window) continue;
        if (hasState(window.get(), ATSPI_STATE_ACTIVE)) queue.push_front(window);
        else queue.push_back(window);
    }
    for (int seen = 0; !queue.empty() && seen < walkLimit && clock.elapsed() < allowed.count(); ++seen) {
        Accessible current = std::move(queue.front());
        queue.pop_front();
        if (hasState(current.get(), ATSPI_STATE_FOCUSED) && hasText(current.get())) return current;
        const gint children = atspi_accessible_get_child_count(current.get(), error.out());
        for (gint i = 0; i < children && !error.failed(); ++i) {
            Accessible child = Accessible::adopt(atspi_accessible_get_child_at_index(current.get(), i, error.out()));
            if (child) queue.push_back(std::move(child));
        }
    }
    return {};
}

} // namespace AtspiFocusSearch
