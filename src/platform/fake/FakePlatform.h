#pragma once

#include "platform/Platform.h"
#include "platform/fake/FakeClock.h"
#include "platform/fake/FakeDesktop.h"
#include "platform/fake/FakeServices.h"

#include <memory>

// A whole desktop in memory: for tests and for watching a session without a display. Holds the
// fakes by their own types, so a test can script them, and the Platform that the core sees.
struct FakePlatform {
    std::shared_ptr<FakeClock> clock;
    std::shared_ptr<FakeWorkspace> workspace;
    std::shared_ptr<FakePasteboard> pasteboard;
    std::shared_ptr<FakeAccessibility> accessibility;
    std::shared_ptr<FakeKeyPoster> keyPoster;
    std::shared_ptr<FakeHotKeyService> hotKeys;
    std::shared_ptr<FakeScreens> screens;
    std::shared_ptr<RecordingPanelWindow> panelWindow;
    std::shared_ptr<FakeOwnWindows> ownWindows;
    std::shared_ptr<Platform> platform;

    FakePlatform();

    // A fresh fake platform, installed as the shared one.
    static std::shared_ptr<FakePlatform> install();

    // An editor with the text and the selection, brought to the front.
    std::shared_ptr<FakeApplication> openEditor(const QString& text, TextRange selection,
                                                Pid pid = 501,
                                                std::optional<QString> identifier = QStringLiteral("org.example.Editor"));
};
