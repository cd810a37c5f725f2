#include "platform/Clock.h"

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>
#include <limits>

#include <qcoro/qcorotimer.h>

namespace {

QCoro::Task<void> runAfter(Clock& clock, qint64 ms, std::shared_ptr<bool> cancelled,
                           std::function<void()> action)
{
    co_await clock.sleep(ms);
    if (!*cancelled) action();
}

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

std::unique_ptr<Clock::Pending> Clock::after(qint64 ms, std::function<void()> action)
{
    auto pending = std::make_unique<Pending>();
    // The coroutine frame outlives the returned task and finishes on its own.
    runAfter(*this, ms, pending->m_cancelled, std::move(action));
    return pending;
}

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
