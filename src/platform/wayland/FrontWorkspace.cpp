#include "platform/wayland/FrontWorkspace.h"

FrontWorkspace::FrontWorkspace(std::shared_ptr<Workspace> windowSystem, AccessibleFront accessibleFront)
    : m_windowSystem(std::move(windowSystem)), m_accessibleFront(std::move(accessibleFront))
{
}

std::optional<RunningApplication> FrontWorkspace::frontmostApplication()
{
    if (auto front = m_windowSystem->frontmostApplication()) return front;
    return m_accessibleFront ? m_accessibleFront() : std::nullopt;
}

Workspace::ObserverHandle FrontWorkspace::observeActivation(ActivationObserver observer)
{
    // Only window-system activations are seen; the panel's own focus (Wayland) comes through them.
    return m_windowSystem->observeActivation(std::move(observer));
}
