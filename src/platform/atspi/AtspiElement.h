#pragma once

#include "platform/Accessibility.h"
#include "platform/atspi/AtspiThread.h"
#include "platform/atspi/GObjectRef.h"
#include "platform/atspi/ToolkitUnits.h"

#include <atspi/atspi.h>

#include <QByteArray>

#include <memory>

// An AT-SPI object handed to the core: the accessible, and how its application counts text.
// The desktop itself stands for the system-wide element. Made on libatspi's thread and let go of
// there, wherever its last holder drops it.
class AtspiElement : public AccessibleElement {
public:
    AtspiElement(GObjectRef<AtspiAccessible> accessible, ToolkitUnits units, std::shared_ptr<AtspiThread> home,
                 QByteArray busName, bool systemWide = false)
        : m_accessible(std::move(accessible))
        , m_units(units)
        , m_home(std::move(home))
        , m_busName(std::move(busName))
        , m_systemWide(systemWide)
    {
    }
    ~AtspiElement() override
    {
        if (m_home && m_accessible) m_home->post([held = std::move(m_accessible)] {});
    }
    AtspiElement(const AtspiElement&) = delete;
    AtspiElement& operator=(const AtspiElement&) = delete;

    AtspiAccessible* accessible() const { return m_accessible.get(); }
    const GObjectRef<AtspiAccessible>& ref() const { return m_accessible; }
    ToolkitUnits units() const { return m_units; }
    bool isSystemWide() const { return m_systemWide; }
    // Its application's bus connection, read where it was made: libatspi's objects are not read
    // from other threads. Empty when not known.
    const QByteArray& busName() const { return m_busName; }

private:
    GObjectRef<AtspiAccessible> m_accessible;
    ToolkitUnits m_units;
    std::shared_ptr<AtspiThread> m_home;
    QByteArray m_busName;
    bool m_systemWide;
};
