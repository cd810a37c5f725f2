#include "support/FakeClock.h"

#include <algorithm>

FakeClock::FakeClock()
    : m_epoch(QDateTime(QDate(2026, 3, 2), QTime(9, 0), Qt::UTC))
{
    m_tick.setSingleShot(true);
    m_tick.setInterval(0);
    QObject::connect(&m_tick, &QTimer::timeout, [this] {
        runNext();
        scheduleTick();
    });
}

// Waits still queued are never resumed: their frames belong to runs that the test abandoned.
FakeClock::~FakeClock() = default;

QDateTime FakeClock::now() { return m_epoch.addMSecs(m_now); }

QCoro::Task<void> FakeClock::sleep(qint64 ms)
{
    co_await SleepAwaiter{this, m_now + std::max<qint64>(ms, 0)};
}

void FakeClock::at(qint64 monotonicMs, std::function<void()> action)
{
    enqueue(std::max(monotonicMs, m_now), Due{{}, std::move(action)});
}

FakeClock::Key FakeClock::enqueue(qint64 time, Due due)
{
    const Key key{time, m_seq++};
    m_queue.emplace(key, std::move(due));
    scheduleTick();
    return key;
}

namespace {
// Releasing the handle takes the action off the queue.
class QueuedPending : public Clock::Pending {
public:
    QueuedPending(std::weak_ptr<FakeClock*> clock, std::function<void(FakeClock&)> remove)
        : m_clock(std::move(clock))
        , m_remove(std::move(remove))
    {
    }
    ~QueuedPending() override
    {
        if (const auto clock = m_clock.lock()) m_remove(**clock);
    }

private:
    std::weak_ptr<FakeClock*> m_clock;
    std::function<void(FakeClock&)> m_remove;
};
} // namespace

std::unique_ptr<Clock::Pending> FakeClock::after(qint64 ms, std::function<void()> action)
{
    const Key key = enqueue(m_now + std::max<qint64>(ms, 0), Due{{}, std::move(action)});
    return std::make_unique<QueuedPending>(m_self, [key](FakeClock& clock) { clock.m_queue.erase(key); });
}

void FakeClock::runNext()
{
    if (m_queue.empty()) return;
    auto first = m_queue.begin();
    m_now = std::max(m_now, first->first.first);
    Due due = std::move(first->second);
    m_queue.erase(first);
    if (due.handle) due.handle.resume();
    else if (due.action) due.action();
}

void FakeClock::advance(qint64 ms)
{
    const qint64 target = m_now + std::max<qint64>(ms, 0);
    while (!m_queue.empty() && m_queue.begin()->first.first <= target) runNext();
    m_now = target;
}

void FakeClock::setAutoAdvance(bool on)
{
    m_autoAdvance = on;
    if (on) scheduleTick();
    else m_tick.stop();
}

void FakeClock::scheduleTick()
{
    if (m_autoAdvance && !m_queue.empty() && !m_tick.isActive()) m_tick.start();
}
