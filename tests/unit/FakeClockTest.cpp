#include "platform/fake/FakeClock.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

QCoro::Task<void> sleeper(FakeClock& clock, qint64 ms, QString name, QStringList& order)
{
    co_await clock.sleep(ms);
    order << QStringLiteral("%1@%2").arg(name).arg(clock.monotonicMs());
}

QCoro::Task<void> both(FakeClock& clock, QStringList& order)
{
    auto slow = sleeper(clock, 300, QStringLiteral("slow"), order);
    auto fast = sleeper(clock, 50, QStringLiteral("fast"), order);
    co_await fast;
    co_await slow;
}

} // namespace

// Other tests lean on the virtual clock keeping concurrent waits in time order.
TEST(FakeClock, concurrentWaitsWakeInTimeOrder)
{
    FakeClock clock;
    const QDateTime start = clock.now();
    QStringList order;
    clock.afterMs(120, [&] { order << QStringLiteral("action@%1").arg(clock.monotonicMs()); });
    QCoro::waitFor(both(clock, order));
    EXPECT_EQ(order, (QStringList{"fast@50", "action@120", "slow@300"}));
    EXPECT_EQ(start.msecsTo(clock.now()), 300); // wall clock moves with it
    EXPECT_EQ(clock.pendingCount(), 0);
}

TEST(FakeClock, manualAdvanceAndCancelledTimeouts)
{
    FakeClock clock;
    clock.setAutoAdvance(false);
    int fired = 0;
    auto kept = clock.after(1800, [&] { fired += 1; });
    auto cancelled = clock.after(1800, [&] { fired += 10; });
    cancelled->cancel();
    auto released = clock.after(100, [&] { fired += 100; });
    released.reset(); // letting go of the handle cancels too

    clock.advance(1799);
    EXPECT_EQ(fired, 0);
    clock.advance(1);
    EXPECT_EQ(fired, 1);
    EXPECT_EQ(clock.monotonicMs(), 1800);
}
