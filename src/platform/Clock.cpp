#include "platform/Clock.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <limits>

#include <qcoro/qcorotimer.h>

namespace {

// A single-shot timer that belongs to the handle: released, it is gone with its action.
class TimerPending : public Clock::Pending {
public:
    TimerPending(qint64 ms, std::function<void()> action)
    {
        // The context object ends the timer's connection when the handle goes, also from
        // inside the action itself.
        QTimer::singleShot(std::chrono::milliseconds(std::clamp<qint64>(ms, 0, std::numeric_limits<int>::max())),
                           &m_context, std::move(action));
    }

private:
    QObject m_context;
};

QElapsedTimer& processTimer()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer;
}

} // namespace

SystemClock::SystemClock()
    : m_start(processTimer().elapsed())
{
}

QDateTime SystemClock::now() { return QDateTime::currentDateTime(); }

qint64 SystemClock::monotonicMs() { return processTimer().elapsed() - m_start; }

QCoro::Task<void> SystemClock::sleep(qint64 ms)
{
    QTimer timer;
    timer.setSingleShot(true);
    timer.start(int(std::clamp<qint64>(ms, 0, std::numeric_limits<int>::max())));
    co_await timer;
}

std::unique_ptr<Clock::Pending> SystemClock::after(qint64 ms, std::function<void()> action)
{
    return std::make_unique<TimerPending>(ms, std::move(action));
}
