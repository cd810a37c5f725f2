#pragma once

#include "platform/EditChords.h"
#include "platform/Types.h"
#include "platform/WindowScale.h"

#include <QString>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

// A running application as the workspace names it. The identifier is the desktop id on Linux
// (the .desktop file name or the WM_CLASS); some applications have none.
struct RunningApplication {
    Pid pid = 0;
    std::optional<QString> desktopId;
    // On X11 the instance part of WM_CLASS: a program started under another class keeps it
    // (uxterm is xterm -class UXTerm).
    std::optional<QString> instanceName;

    bool operator==(const RunningApplication&) const = default;
};

// The window that receives the keyboard, in the window system's device pixels.
struct FrontWindow {
    Pid pid = 0;
    WindowScale::DeviceWindow device;
};

// Applications and which of them is in front.
class Workspace {
public:
    using ObserverHandle = quint64;
    using ActivationObserver = std::function<void(const RunningApplication& activated)>;

    virtual ~Workspace() = default;

    // The application that receives the keyboard; absent when none can be told.
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    // The same, where telling it may wait on another application: awaited, the caller's event loop
    // keeps running. The plain form then answers with what was told last.
    virtual QCoro::Task<std::optional<RunningApplication>> frontmostApplicationAsync()
    {
        co_return frontmostApplication();
    }
    // Its window; absent when none can be told.
    virtual std::optional<FrontWindow> frontmostWindow() = 0;
    virtual Pid ownPid() = 0;
    virtual std::optional<QString> ownDesktopId() = 0;

    // How that application copies and pastes from the keyboard.
    virtual EditChords editChords(const RunningApplication& application)
    {
        return EditChords::forDesktopId(application.desktopId, application.instanceName);
    }

    // Called on the main thread each time an application becomes active.
    virtual ObserverHandle observeActivation(ActivationObserver observer) = 0;
    virtual void removeObserver(ObserverHandle handle) = 0;
};
