#include "base/Log.h"

#include <QMutex>

#include <map>
#include <memory>
#include <syslog.h>
#include <unistd.h>

namespace Log {
namespace {

struct Registry {
    QMutex mutex;
    std::map<int, Sink> sinks;
    int nextId = 1;
    bool syslogOpen = false;
};

Registry& registry()
{
    static Registry r;
    return r;
}

} // namespace

void write(const QString& message)
{
    const QString line = QStringLiteral("[Sorelwick] ") + message;
    const QByteArray utf8 = line.toUtf8();
    std::map<int, Sink> sinks;
    {
        Registry& r = registry();
        QMutexLocker lock(&r.mutex);
        if (!r.syslogOpen) {
            openlog("sorelwick", LOG_PID, LOG_USER);
            r.syslogOpen = true;
        }
        sinks = r.sinks;
    }
    syslog(LOG_INFO, "%s", utf8.constData());
    // A terminal sees the lines; so does a test session, which keeps a program's stderr as its log.
    static const bool toStderr = isatty(STDERR_FILENO) || qEnvironmentVariableIsSet("SORELWICK_LOG_STDERR");
    if (toStderr) {
        QByteArray out = utf8 + '\n';
        [[maybe_unused]] auto written = ::write(STDERR_FILENO, out.constData(), size_t(out.size()));
    }
    for (auto& [id, sink] : sinks) sink(line);
}

int addSink(Sink sink)
{
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    const int id = r.nextId++;
    r.sinks.emplace(id, std::move(sink));
    return id;
}

void removeSink(int id)
{
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    r.sinks.erase(id);
}

struct Collector::State {
    QMutex mutex;
    QStringList lines;
};

Collector::Collector()
    : m_state(new State)
{
    State* state = m_state;
    m_id = addSink([state](const QString& line) {
        QMutexLocker lock(&state->mutex);
        state->lines.append(line);
    });
}

Collector::~Collector()
{
    removeSink(m_id);
    delete m_state;
}

QStringList Collector::lines() const
{
    QMutexLocker lock(&m_state->mutex);
    return m_state->lines;
}

bool Collector::contains(const QString& fragment) const { return count(fragment) > 0; }

int Collector::count(const QString& fragment) const
{
    QMutexLocker lock(&m_state->mutex);
    int n = 0;
    for (const QString& line : m_state->lines)
        if (line.contains(fragment)) ++n;
    return n;
}

void Collector::clear()
{
    QMutexLocker lock(&m_state->mutex);
    m_state->lines.clear();
}

} // namespace Log
