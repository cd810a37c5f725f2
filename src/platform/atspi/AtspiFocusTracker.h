#pragma once

#include "platform/atspi/GObjectRef.h"

#include <atspi/atspi.h>

// The object that last reported gaining the keyboard focus, from AT-SPI's focus events (as
// screen readers follow the focus). Answers at once, without asking any application, so a hung
// application cannot slow it. Events arrive through the GLib main loop (Qt's, in the program).
//
// A GTK 4 application announces its first focus before its objects are on the bus, and never
// again until its window loses and regains the keyboard: the object whose text selection changed
// last is kept too, for the caller to check whether it holds the focus.
class AtspiFocusTracker {
public:
    AtspiFocusTracker();
    ~AtspiFocusTracker();
    AtspiFocusTracker(const AtspiFocusTracker&) = delete;
    AtspiFocusTracker& operator=(const AtspiFocusTracker&) = delete;

    // Null when no focus event came, or the last focused object lost the focus since.
    GObjectRef<AtspiAccessible> focused() const { return m_focused; }
    // Also follows text selection changes (each costs the main thread a little, so only where
    // needed: a Wayland session, for GTK 4).
    void followSelections();
    // Null when no selection changed since the last focus event (or they are not followed).
    GObjectRef<AtspiAccessible> lastSelected() const { return m_selected; }

private:
    static void onEvent(AtspiEvent* event, void* self);

    GObjectRef<AtspiEventListener> m_listener;
    GObjectRef<AtspiAccessible> m_focused;
    GObjectRef<AtspiAccessible> m_selected;
    bool m_followsSelections = false;
};
