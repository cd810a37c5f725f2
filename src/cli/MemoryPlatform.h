#pragma once

#include "cli/MemoryDesktop.h"
#include "cli/MemoryWindows.h"
#include "platform/Platform.h"

#include <memory>

// A whole desktop in memory, on the clock it is given: the command line runs sessions on it
// with the system clock, tests with a virtual one. Holds the parts by their own types, so they
// can be scripted, and the Platform that the core sees. No hot keys: nothing here listens for them.
struct MemoryPlatform {
    std::shared_ptr<Clock> clock;
    std::shared_ptr<MemoryWorkspace> workspace;
    std::shared_ptr<MemoryPasteboard> pasteboard;
    std::shared_ptr<MemoryPasteboard> primarySelection;
    std::shared_ptr<MemoryAccessibility> accessibility;
    std::shared_ptr<MemoryKeyPoster> keyPoster;
    std::shared_ptr<MemoryScreens> screens;
    std::shared_ptr<MemoryPanelWindow> panelWindow;
    std::shared_ptr<MemoryOwnWindows> ownWindows;
    std::shared_ptr<Platform> platform;

    explicit MemoryPlatform(std::shared_ptr<Clock> clock);

    // A fresh in-memory platform, installed as the shared one.
    static std::shared_ptr<MemoryPlatform> install(std::shared_ptr<Clock> clock);

    // An editor with the text and the selection, brought to the front.
    std::shared_ptr<MemoryApplication> openEditor(const QString& text, TextRange selection, Pid pid = 501,
                                                  std::optional<QString> identifier = QStringLiteral("org.example.Editor"));
};
