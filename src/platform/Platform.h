#pragma once

#include "platform/Accessibility.h"
#include "platform/Clock.h"
#include "platform/HotKeyService.h"
#include "platform/KeyPoster.h"
#include "platform/KeyboardLayout.h"
#include "platform/OwnWindows.h"
#include "platform/PanelWindow.h"
#include "platform/Pasteboard.h"
#include "platform/Screens.h"
#include "platform/Workspace.h"

#include <memory>

// The platform services the core uses, installed as a whole: the desktop's at start-up, fakes in
// tests and in the simulator. Code that waits keeps its own copies of the pointers it uses, so a
// platform swapped meanwhile stays alive until it is done.
struct Platform {
    std::shared_ptr<Accessibility> accessibility;
    std::shared_ptr<Pasteboard> pasteboard;
    // The PRIMARY selection (what is selected now, on X11); null where the platform has none.
    std::shared_ptr<Pasteboard> primarySelection;
    std::shared_ptr<KeyPoster> keyPoster;
    std::shared_ptr<Workspace> workspace;
    std::shared_ptr<HotKeyService> hotKeys;
    // Names letter and digit keys by the layout in use; null: they are named by the US layout.
    std::shared_ptr<KeyboardLayout> keyboardLayout;
    std::shared_ptr<Screens> screens;
    std::shared_ptr<PanelWindow> panelWindow;
    std::shared_ptr<OwnWindows> ownWindows;
    std::shared_ptr<Clock> clock;

    // The installed platform; stops the program with a message when none was installed.
    static Platform& shared();
    static void setShared(std::shared_ptr<Platform> platform);
    static bool isInstalled();
};
