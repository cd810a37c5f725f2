#pragma once

#include "platform/atspi/GObjectRef.h"

#include <atspi/atspi.h>

#include <chrono>
#include <optional>

// Finding an application's focused text object: by one Collection query where the application
// answers it, else by walking its windows.
namespace AtspiFocusSearch {

bool hasState(AtspiAccessible* accessible, AtspiStateType state);
bool hasText(AtspiAccessible* accessible);

// The focused object below the application, asked of its Collection interface in one call.
// Absent also when the application has no Collection interface (Qt).
std::optional<GObjectRef<AtspiAccessible>> focusedByCollection(AtspiAccessible* application);

// The focused text object found by looking through the application's active window (its other
// windows after it), breadth first, within the object limit and the time allowed.
GObjectRef<AtspiAccessible> focusedByWalk(AtspiAccessible* application, std::chrono::milliseconds allowed);

} // namespace AtspiFocusSearch
