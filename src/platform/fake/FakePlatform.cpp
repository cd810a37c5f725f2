#include "platform/fake/FakePlatform.h"

FakePlatform::FakePlatform()
    : clock(std::make_shared<FakeClock>())
    , workspace(std::make_shared<FakeWorkspace>())
    , pasteboard(std::make_shared<FakePasteboard>())
    , accessibility(std::make_shared<FakeAccessibility>(workspace))
    , keyPoster(std::make_shared<FakeKeyPoster>(clock, workspace, pasteboard))
    , hotKeys(std::make_shared<FakeHotKeyService>())
    , screens(std::make_shared<FakeScreens>())
    , panelWindow(std::make_shared<RecordingPanelWindow>())
    , ownWindows(std::make_shared<FakeOwnWindows>())
    , platform(std::make_shared<Platform>())
{
    platform->accessibility = accessibility;
    platform->pasteboard = pasteboard;
    platform->keyPoster = keyPoster;
    platform->workspace = workspace;
    platform->hotKeys = hotKeys;
    platform->screens = screens;
    platform->panelWindow = panelWindow;
    platform->ownWindows = ownWindows;
    platform->clock = clock;
}

std::shared_ptr<FakePlatform> FakePlatform::install()
{
    auto fake = std::make_shared<FakePlatform>();
    Platform::setShared(fake->platform);
    return fake;
}

std::shared_ptr<FakeApplication> FakePlatform::openEditor(const QString& text, TextRange selection, Pid pid,
                                                          std::optional<QString> identifier)
{
    auto app = workspace->addApplication(pid, std::move(identifier));
    app->text = text;
    app->selection = selection;
    workspace->activate(pid);
    return app;
}
