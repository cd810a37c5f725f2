#include "cli/MemoryPlatform.h"

MemoryPlatform::MemoryPlatform(std::shared_ptr<Clock> clock_)
    : clock(std::move(clock_))
    , workspace(std::make_shared<MemoryWorkspace>())
    , pasteboard(std::make_shared<MemoryPasteboard>())
    , primarySelection(std::make_shared<MemoryPasteboard>())
    , accessibility(std::make_shared<MemoryAccessibility>(workspace))
    , keyPoster(std::make_shared<MemoryKeyPoster>(clock, workspace, pasteboard, primarySelection))
    , screens(std::make_shared<MemoryScreens>())
    , panelWindow(std::make_shared<MemoryPanelWindow>())
    , ownWindows(std::make_shared<MemoryOwnWindows>())
    , platform(std::make_shared<Platform>())
{
    platform->accessibility = accessibility;
    platform->pasteboard = pasteboard;
    platform->primarySelection = primarySelection;
    platform->keyPoster = keyPoster;
    platform->workspace = workspace;
    platform->screens = screens;
    platform->panelWindow = panelWindow;
    platform->ownWindows = ownWindows;
    platform->clock = clock;
}

std::shared_ptr<MemoryPlatform> MemoryPlatform::install(std::shared_ptr<Clock> clock)
{
    auto memory = std::make_shared<MemoryPlatform>(std::move(clock));
    Platform::setShared(memory->platform);
    return memory;
}

std::shared_ptr<MemoryApplication> MemoryPlatform::openEditor(const QString& text, TextRange selection, Pid pid,
                                                              std::optional<QString> identifier)
{
    auto app = workspace->addApplication(pid, std::move(identifier));
    app->text = text;
    app->selection = selection;
    workspace->activate(pid);
    return app;
}
