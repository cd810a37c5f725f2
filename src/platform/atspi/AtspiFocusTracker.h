#pragma once

#include "platform/atspi/GObjectRef.h"

#include <atspi/atspi.h>

#include <QByteArray>

class AtspiFocusReports;

// The object that last reported gaining the keyboard focus, from AT-SPI's focus events (as
// screen readers follow the focus). Answers at once, without asking any application, so a hung
// application cannot slow it. Events arrive through libatspi's loop (AtspiThread's), where it is used.
//
// A GTK 4 application announces its first focus before its objects are on the bus, and never
// again until its window loses and regains the keyboard: the object whose text selection changed
// last is kept too, for the caller to check whether it holds the focus.
class AtspiFocusTracker {
public:
    // Each application's word on its own focus is posted to `reports` (which outlives this).
    explicit AtspiFocusTracker(AtspiFocusReports* reports);
    ~AtspiFocusTracker();
    AtspiFocusTracker(const AtspiFocusTracker&) = delete;
    AtspiFocusTracker& operator=(const AtspiFocusTracker&) = delete;

    // Null when no focus event came, or the last focused object lost the focus since.
    GObjectRef<AtspiAccessible> focused() const { return m_focused; }
    // The last object that gained the focus, kept when it lost it: where its window takes the
    // keyboard back (our panel closed), the press may come before the event does.
    GObjectRef<AtspiAccessible> lastFocused() const { return m_lastFocused; }
    // Also follows text selection changes and window activations (each costs the main thread a
    // little, so only where needed: a Wayland session, where the window system cannot tell).
    void followSelections();
    // Null when no selection changed since the last focus event (or they are not followed).
    GObjectRef<AtspiAccessible> lastSelected() const { return m_selected; }
    // The window that reported its activation last, until it reports losing it; null when
    // activations are not followed.
    GObjectRef<AtspiAccessible> activeWindow() const { return m_active; }

    // The bus connection of the object's application, which its events come from; empty when not known.
    static QByteArray busNameOf(AtspiAccessible* object);

private:
    static void onEvent(AtspiEvent* event, void* self);

    GObjectRef<AtspiEventListener> m_listener;
    GObjectRef<AtspiAccessible> m_focused;
    GObjectRef<AtspiAccessible> m_lastFocused;
    GObjectRef<AtspiAccessible> m_selected;
    GObjectRef<AtspiAccessible> m_active;
    bool m_followsSelections = false;
    AtspiFocusReports* m_reports;
};
