#pragma once

#include "cli/MemoryPlatform.h"
#include "support/FakeClock.h"
#include "support/FakeHotKeyService.h"
#include "support/FaultyDesktop.h"

#include <memory>

// The command line's in-memory desktop on virtual time, with hot keys: what the tests run on.
struct FakePlatform : MemoryPlatform {
    // The same clock as MemoryPlatform::clock, by its own type, so tests can move time.
    std::shared_ptr<FakeClock> clock;
    std::shared_ptr<FakeHotKeyService> hotKeys;
    // The same parts as MemoryPlatform's, with the faults tests script.
    std::shared_ptr<FaultyAccessibility> faultyAccessibility;
    std::shared_ptr<FaultyPasteboard> faultyPasteboard;
    std::shared_ptr<SlowCopyKeyPoster> slowCopies;

    // How the application's accessibility writes fail.
    WriteFaults& writeFaults(const MemoryApplication& app) { return faultyAccessibility->faults[app.pid()]; }
    // The application answers its copy chord ms after the keystroke.
    void copiesAfter(const MemoryApplication& app, qint64 ms) { slowCopies->copyDelayMs[app.pid()] = ms; }
    // Synthetic keys never reach the application (a native Wayland window).
    void keysNeverReach(const MemoryApplication& app) { slowCopies->unreachable.insert(app.pid()); }

    FakePlatform();

    // A fresh fake platform, installed as the shared one.
    static std::shared_ptr<FakePlatform> install();

private:
    explicit FakePlatform(std::shared_ptr<FakeClock> clock);
};
