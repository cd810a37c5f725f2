#include "platform/Clock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <gtest/gtest.h>

// The panel's notice and re-layout time-outs lean on these rules; a handle released by its owner
// must leave nothing behind that fires later.
TEST(SystemClock, TimeoutsRunOnceUnlessReleasedAndMayReleaseThemselves)
{
    SystemClock clock;
    int fired = 0;
    bool done = false;
    auto kept = clock.after(5, [&] { fired += 1; });
    auto released = clock.after(5, [&] { fired += 10; });
    released.reset();
    std::unique_ptr<Clock::Pending> self;
    self = clock.after(5, [&] {
        fired += 100;
        self.reset();
    });
    auto last = clock.after(40, [&] { done = true; });

    const QDeadlineTimer deadline(5000);
    while (!done && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    ASSERT_TRUE(done);
    EXPECT_EQ(fired, 101);
    EXPECT_FALSE(self);
}
