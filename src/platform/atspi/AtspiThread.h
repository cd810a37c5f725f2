#pragma once

#include <glib.h>

#include <QObject>

#include <atomic>
#include <coroutine>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <thread>

// A GLib main loop on a thread of its own, where every libatspi call is made and its events are
// dispatched: libatspi is not thread-safe, and its calls wait for the application they ask (up to
// the call time-out, longer for a walk). Jobs run one after the other, in the order given.
class AtspiThread {
public:
    // The one thread of the process, while anything holds it.
    static std::shared_ptr<AtspiThread> shared();

    AtspiThread();
    ~AtspiThread();
    AtspiThread(const AtspiThread&) = delete;
    AtspiThread& operator=(const AtspiThread&) = delete;

    // The loop's context, made the thread's default for everything that runs there.
    GMainContext* context() const { return m_context; }
    bool isCurrent() const { return std::this_thread::get_id() == m_thread.get_id(); }

    // Runs the job there; dropped unrun once the loop has stopped.
    void post(std::function<void()> job);

    // Runs the job there and waits for it (at once when called there).
    template <typename T>
    T run(std::function<T()> job)
    {
        if (isCurrent() || m_stopped) return job();
        std::packaged_task<T()> task(std::move(job));
        std::future<T> result = task.get_future();
        post([&task] { task(); });
        return result.get();
    }

    // Awaited on the thread that owns `home` (the main thread): the job runs there, and the
    // awaiting coroutine goes on in its own thread's event loop when it is done, which keeps
    // running meanwhile. Never resumed when `home` is gone first.
    template <typename T>
    class Awaiter {
    public:
        Awaiter(AtspiThread& thread, QObject* home, std::function<T()> job)
            : m_thread(thread), m_home(home), m_job(std::move(job))
        {
        }
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<> waiting)
        {
            m_thread.post([this, waiting, home = m_home, job = std::move(m_job)] {
                T result = job();
                QMetaObject::invokeMethod(
                    home,
                    [this, waiting, result = std::move(result)]() mutable {
                        m_result = std::move(result);
                        waiting.resume();
                    },
                    Qt::QueuedConnection);
            });
        }
        T await_resume() { return std::move(*m_result); }

    private:
        AtspiThread& m_thread;
        QObject* m_home;
        std::function<T()> m_job;
        std::optional<T> m_result;
    };

    // Ends the loop after the jobs given, and the job given last here; waits for the thread.
    // Later jobs run where they are given (nothing else calls libatspi then).
    void stop();
    void atEnd(std::function<void()> job) { m_atEnd = std::move(job); }

private:
    std::function<void()> m_atEnd; // set and run on the thread
    GMainContext* m_context = nullptr;
    GMainLoop* m_loop = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stopped = false;
};
