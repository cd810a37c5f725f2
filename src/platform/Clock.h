#pragma once

#include <QDateTime>

#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>

// Time and waits. Waits are awaited on the Qt event loop, which keeps running meanwhile.
class Clock {
public:
    virtual ~Clock() = default;

    // Wall-clock time (for records that keep a date).
    virtual QDateTime now() = 0;
    // Monotonic milliseconds from an arbitrary start (for deadlines).
    virtual qint64 monotonicMs() = 0;
    // Resumes after ms milliseconds; never fails (an interrupted wait counts as completed).
    virtual QCoro::Task<void> sleep(qint64 ms) = 0;

    // Runs action after ms milliseconds unless the returned handle was released first. For
    // one-off time-outs such as a notice that removes itself. Nothing waits on behalf of a
    // released handle, so an owner that goes away takes its time-outs with it. The action may
    // release its own handle.
    class Pending {
    public:
        virtual ~Pending() = default;
    };
    virtual std::unique_ptr<Pending> after(qint64 ms, std::function<void()> action) = 0;
};

// The real clock: QDateTime and QElapsedTimer, waits on QTimer.
class SystemClock : public Clock {
public:
    SystemClock();
    QDateTime now() override;
    qint64 monotonicMs() override;
    QCoro::Task<void> sleep(qint64 ms) override;
    std::unique_ptr<Pending> after(qint64 ms, std::function<void()> action) override;

private:
    qint64 m_start;
};
