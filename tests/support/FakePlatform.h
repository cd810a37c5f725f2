#pragma once

#include "cli/MemoryPlatform.h"
#include "support/FakeClock.h"
#include "support/FakeHotKeyService.h"

#include <memory>

// The command line's in-memory desktop on virtual time, with hot keys: what the tests run on.
struct FakePlatform : MemoryPlatform {
    // The same clock as MemoryPlatform::clock, by its own type, so tests can move time.
    std::shared_ptr<FakeClock> clock;
    std::shared_ptr<FakeHotKeyService> hotKeys;

    FakePlatform();

    // A fresh fake platform, installed as the shared one.
    static std::shared_ptr<FakePlatform> install();

private:
    explicit FakePlatform(std::shared_ptr<FakeClock> clock);
};
