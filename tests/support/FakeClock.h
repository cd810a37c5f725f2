#pragma once

#include "platform/Clock.h"

#include <QTimer>

#include <coroutine>
#include <functional>
#include <map>
#include <utility>

// Virtual time. Waits and scheduled actions are queued by their due time; time jumps to the
// next due item when the event loop comes round (auto-advance), or when advance() is called. Runs
// are deterministic and take no real time, whatever the waits add up to.
class FakeClock : public Clock {
public:
    FakeClock();
    ~FakeClock() override;

    QDateTime now() override;
    qint64 monotonicMs() override { return m_now; }
    QCoro::Task<void> sleep(qint64 ms) override;
    std::unique_ptr<Pending> after(qint64 ms, std::function<void()> action) override;

    // Runs action when virtual time reaches the given moment (e.g. another program writes).
    void at(qint64 monotonicMs, std::function<void()> action);
    void afterMs(qint64 ms, std::function<void()> action) { at(m_now + ms, std::move(action)); }

    // Moves time forward by ms, running everything that falls due on the way, in order.
    void advance(qint64 ms);
    // With auto-advance off, time moves only through advance().
    void setAutoAdvance(bool on);
    qsizetype pendingCount() const { return qsizetype(m_queue.size()); }

private:
    struct Due {
        std::coroutine_handle<> handle;
        std::function<void()> action;
    };
    struct SleepAwaiter {
        FakeClock* clock;
        qint64 wake;
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> h) { clock->enqueue(wake, Due{h, {}}); }
        void await_resume() const noexcept {}
    };

    using Key = std::pair<qint64, quint64>;
    Key enqueue(qint64 time, Due due);
    void runNext();
    void scheduleTick();

    qint64 m_now = 0;
    quint64 m_seq = 0;
    std::map<Key, Due> m_queue;
    // Handles of after() check it before they reach into a clock that is gone.
    std::shared_ptr<FakeClock*> m_self = std::make_shared<FakeClock*>(this);
    bool m_autoAdvance = true;
    QTimer m_tick;
    QDateTime m_epoch;
};
