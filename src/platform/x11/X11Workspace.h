#pragma once

#include "platform/Workspace.h"

#include <QRect>

#include <map>
#include <memory>
#include <utility>

class X11Connection;

// The application in front as the window manager tells it: _NET_ACTIVE_WINDOW on the root
// window, its _NET_WM_PID (the X client's PID through XRes when the window has none) and the
// class part of its WM_CLASS. Without a window manager nobody is in front. Activations come
// from the root window's property changes.
class X11Workspace : public Workspace {
public:
    // Without a connection (no X display) nobody is ever in front.
    explicit X11Workspace(std::shared_ptr<X11Connection> connection);
    ~X11Workspace() override;

    std::optional<RunningApplication> frontmostApplication() override;
    // Where the active window's contents lie in root coordinates (device pixels); absent without
    // an active window or when it is not shown.
    std::optional<QRect> activeWindowFrame();
    // The active window's own area translated to the root, with _NET_FRAME_EXTENTS and
    // _GTK_FRAME_EXTENTS (none where the window has none).
    std::optional<FrontWindow> frontmostWindow() override;
    Pid ownPid() override;
    std::optional<QString> ownDesktopId() override;
    ObserverHandle observeActivation(ActivationObserver observer) override;
    void removeObserver(ObserverHandle handle) override;

private:
    void onActiveWindowChanged();
    // _NET_ACTIVE_WINDOW and the PID of its client.
    std::optional<std::pair<unsigned long, Pid>> activeWindow();
    // The window's contents in root coordinates; absent when it is gone or not shown.
    std::optional<QRect> shownArea(unsigned long window);

    std::shared_ptr<X11Connection> m_connection;
    unsigned long m_activeWindowAtom = 0;
    unsigned long m_pidAtom = 0;
    unsigned long m_frameExtentsAtom = 0;
    unsigned long m_gtkFrameExtentsAtom = 0;
    int m_handler = 0;
    std::optional<Pid> m_lastFront;
    std::map<ObserverHandle, ActivationObserver> m_observers;
    ObserverHandle m_nextHandle = 1;
};
