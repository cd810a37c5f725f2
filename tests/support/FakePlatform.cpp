#include "support/FakePlatform.h"

FakePlatform::FakePlatform()
    : FakePlatform(std::make_shared<FakeClock>())
{
}

FakePlatform::FakePlatform(std::shared_ptr<FakeClock> clock_)
    : MemoryPlatform(clock_)
    , clock(std::move(clock_))
    , hotKeys(std::make_shared<FakeHotKeyService>())
{
    platform->hotKeys = hotKeys;
}

std::shared_ptr<FakePlatform> FakePlatform::install()
{
    auto fake = std::make_shared<FakePlatform>();
    Platform::setShared(fake->platform);
    return fake;
}
