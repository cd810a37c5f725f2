#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Diagnostic lines, each "[Sorelwick] " + message, to the system journal (syslog) and to stderr
// when stderr is a terminal or SORELWICK_LOG_STDERR is set (the test sessions). Never shown to
// the user.
namespace Log {

void write(const QString& message);

using Sink = std::function<void(const QString& line)>;
int addSink(Sink sink);
void removeSink(int id);

// Collects the lines written while it lives; tests use it to check what was logged.
class Collector {
public:
    Collector();
    ~Collector();
    Collector(const Collector&) = delete;
    Collector& operator=(const Collector&) = delete;

    QStringList lines() const;
    bool contains(const QString& fragment) const;
    int count(const QString& fragment) const;
    void clear();

private:
    struct State;
    State* m_state;
    int m_id;
};

} // namespace Log
