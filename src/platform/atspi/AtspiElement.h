#pragma once

#include "platform/Accessibility.h"
#include "platform/atspi/GObjectRef.h"
#include "platform/atspi/ToolkitUnits.h"

#include <atspi/atspi.h>

// An AT-SPI object handed to the core: the accessible, and how its application counts text.
// The desktop itself stands for the system-wide element.
class AtspiElement : public AccessibleElement {
public:
    AtspiElement(GObjectRef<AtspiAccessible> accessible, ToolkitUnits units, bool systemWide = false)
        : m_accessible(std::move(accessible)), m_units(units), m_systemWide(systemWide)
    {
    }

    AtspiAccessible* accessible() const { return m_accessible.get(); }
    const GObjectRef<AtspiAccessible>& ref() const { return m_accessible; }
    ToolkitUnits units() const { return m_units; }
    bool isSystemWide() const { return m_systemWide; }

private:
    GObjectRef<AtspiAccessible> m_accessible;
    ToolkitUnits m_units;
    bool m_systemWide;
};
