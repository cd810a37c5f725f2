#pragma once

#include "platform/Workspace.h"

#include <functional>
#include <memory>

// The application in front where the window system may not know it: the X11 answer while
// _NET_ACTIVE_WINDOW names a client, else the accessibility bus's (a native Wayland window has the
// keyboard, and XWayland's root names none). Windows are the X11 answer only: where no client can
// learn a Wayland window's place there is none to give.
// Asking the bus may wait on a busy application: the plain form takes the answer told last, at
// once; the awaited one asks.
class FrontWorkspace : public Workspace {
public:
    using AccessibleFront = std::function<std::optional<RunningApplication>()>;
    using AskedFront = std::function<QCoro::Task<std::optional<RunningApplication>>()>;

    FrontWorkspace(std::shared_ptr<Workspace> windowSystem, AccessibleFront toldLast, AskedFront ask);

    std::optional<RunningApplication> frontmostApplication() override;
    QCoro::Task<std::optional<RunningApplication>> frontmostApplicationAsync() override;
    std::optional<FrontWindow> frontmostWindow() override { return m_windowSystem->frontmostWindow(); }
    Pid ownPid() override { return m_windowSystem->ownPid(); }
    std::optional<QString> ownDesktopId() override { return m_windowSystem->ownDesktopId(); }
    ObserverHandle observeActivation(ActivationObserver observer) override;
    void removeObserver(ObserverHandle handle) override { m_windowSystem->removeObserver(handle); }

private:
    std::shared_ptr<Workspace> m_windowSystem;
    AccessibleFront m_toldLast;
    AskedFront m_ask;
};
