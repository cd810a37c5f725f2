#include "support/FakePlatform.h"

FakePlatform::FakePlatform()
    : FakePlatform(std::make_shared<FakeClock>())
{
}

FakePlatform::FakePlatform(std::shared_ptr<FakeClock> clock_)
    : MemoryPlatform(clock_)
    , clock(std::move(clock_))
    , hotKeys(std::make_shared<FakeHotKeyService>())
    , faultyAccessibility(std::make_shared<FaultyAccessibility>(workspace))
    , faultyPasteboard(std::make_shared<FaultyPasteboard>())
{
    platform->hotKeys = hotKeys;
    accessibility = faultyAccessibility;
    platform->accessibility = accessibility;
    pasteboard = faultyPasteboard;
    platform->pasteboard = pasteboard;
    slowCopies = std::make_shared<SlowCopyKeyPoster>(clock, workspace, pasteboard, primarySelection);
    keyPoster = slowCopies;
    platform->keyPoster = keyPoster;
}

std::shared_ptr<FakePlatform> FakePlatform::install()
{
    auto fake = std::make_shared<FakePlatform>();
    Platform::setShared(fake->platform);
    return fake;
}
