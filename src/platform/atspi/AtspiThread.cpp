#include "platform/atspi/AtspiThread.h"

namespace {

gboolean runJob(gpointer data)
{
    (*static_cast<std::function<void()>*>(data))();
    return G_SOURCE_REMOVE;
}

void dropJob(gpointer data) { delete static_cast<std::function<void()>*>(data); }

} // namespace

std::shared_ptr<AtspiThread> AtspiThread::shared()
{
    static std::weak_ptr<AtspiThread> current;
    std::shared_ptr<AtspiThread> thread = current.lock();
    if (!thread) current = thread = std::make_shared<AtspiThread>();
    return thread;
}

AtspiThread::AtspiThread() : m_context(g_main_context_new()), m_loop(g_main_loop_new(m_context, FALSE))
{
    // Holds its own references: a thread let go of by its own last job outlives this object.
    m_thread = std::thread([context = g_main_context_ref(m_context), loop = g_main_loop_ref(m_loop)] {
        g_main_context_push_thread_default(context);
        g_main_loop_run(loop);
        g_main_context_pop_thread_default(context);
        g_main_loop_unref(loop);
        g_main_context_unref(context);
    });
}

AtspiThread::~AtspiThread()
{
    stop();
    g_main_loop_unref(m_loop);
    g_main_context_unref(m_context);
}

void AtspiThread::post(std::function<void()> job)
{
    if (m_stopped) {
        job();
        return;
    }
    // The job is destroyed where it ran, so what it holds is let go of there too.
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(source, &runJob, new std::function<void()>(std::move(job)), &dropJob);
    g_source_attach(source, m_context);
    g_source_unref(source);
}

void AtspiThread::stop()
{
    if (m_stopped) return;
    if (isCurrent()) {
        // Let go of by its own last job (an element it ended): the loop ends after it.
        if (m_atEnd) m_atEnd();
        g_main_loop_quit(m_loop);
        m_stopped = true;
        m_thread.detach();
        return;
    }
    // Quit from inside, after the jobs given before: a quit before the loop ran would be lost.
    post([this] {
        if (m_atEnd) m_atEnd();
        g_main_loop_quit(m_loop);
    });
    m_stopped = true;
    if (m_thread.joinable()) m_thread.join();
}
