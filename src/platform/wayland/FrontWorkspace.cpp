#include "platform/wayland/FrontWorkspace.h"

FrontWorkspace::FrontWorkspace(std::shared_ptr<Workspace> windowSystem, AccessibleFront toldLast, AskedFront ask)
    : m_windowSystem(std::move(windowSystem)), m_toldLast(std::move(toldLast)), m_ask(std::move(ask))
{
}

std::optional<RunningApplication> FrontWorkspace::frontmostApplication()
{
    if (auto front = m_windowSystem->frontmostApplication()) return front;
    return m_toldLast ? m_toldLast() : std::nullopt;
}

QCoro::Task<std::optional<RunningApplication>> FrontWorkspace::frontmostApplicationAsync()
{
    if (auto front = m_windowSystem->frontmostApplication()) co_return front;
    if (!m_ask) co_return std::nullopt;
    auto asking = m_ask();
    std::optional<RunningApplication> asked = co_await asking;
    co_return asked;
}

Workspace::ObserverHandle FrontWorkspace::observeActivation(ActivationObserver observer)
{
    // Only window-system activations are seen; the panel's own focus (Wayland) comes through them.
    return m_windowSystem->observeActivation(std::move(observer));
}
