#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <gtest/gtest.h>

#include <signal.h>

#include <functional>
#include <memory>
#include <optional>

// Helpers of the X11 desktop tier: waits that poll with a deadline while the event loop runs
// (our own selections are served from it), programs that are ended by PID, xdotool.
namespace DesktopSupport {

// Polls pred every 10 ms with the event loop running; false when the deadline passed first.
inline bool waitFor(const std::function<bool()>& pred, int ms = 5000)
{
    if (pred()) return true;
    const QDeadlineTimer deadline(ms);
    QEventLoop loop;
    QTimer timer;
    bool met = false;
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        met = pred();
        if (met || deadline.hasExpired()) loop.quit();
    });
    timer.start(10);
    loop.exec();
    return met;
}

// Runs a tool to its end while the event loop keeps running; its standard output, or absent
// when it failed or took longer than ms.
inline std::optional<QByteArray> run(const QString& program, const QStringList& args, int ms = 10000)
{
    QProcess p;
    p.start(program, args);
    bool done = false;
    QObject::connect(&p, &QProcess::finished, [&] { done = true; });
    if (!waitFor([&] { return done || p.state() == QProcess::NotRunning; }, ms)) {
        p.kill();
        p.waitForFinished(1000);
        return std::nullopt;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return std::nullopt;
    return p.readAllStandardOutput();
}

inline bool xdotool(const QStringList& args) { return run(QStringLiteral("xdotool"), args).has_value(); }

// A program started for a test, ended by its PID when the test ends.
class Program {
public:
    Program(const QString& program, const QStringList& args)
    {
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, args);
        m_process.waitForStarted(5000);
    }
    ~Program()
    {
        if (m_process.state() == QProcess::NotRunning) return;
        ::kill(pid_t(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(3000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    qint32 pid() const { return qint32(m_process.processId()); }
    QProcess& process() { return m_process; }

    // Its first top-level window, as the window manager maps it; 0 when none came in time.
    unsigned long window(int ms = 10000)
    {
        unsigned long id = 0;
        waitFor([&] {
            const auto out = run(QStringLiteral("xdotool"),
                                 {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                                  QString::number(pid())},
                                 2000);
            if (!out || out->trimmed().isEmpty()) return false;
            id = out->trimmed().split('\n').first().toULong();
            return id != 0;
        }, ms);
        return id;
    }

private:
    QProcess m_process;
};

inline bool activate(unsigned long window)
{
    return xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(window)});
}

// The PIDs of a process's children.
inline QList<qint32> children(qint32 pid)
{
    QList<qint32> list;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(task + QStringLiteral("/children")));
        if (!f.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& c : f.readAll().simplified().split(' '))
            if (!c.isEmpty()) list << c.toInt();
    }
    return list;
}

inline bool alive(qint32 pid) { return ::kill(pid_t(pid), 0) == 0; }

} // namespace DesktopSupport
