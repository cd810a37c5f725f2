#pragma once

#include "platform/Accessibility.h"

#include <QByteArray>
#include <QObject>

#include <qcoro/qcorotask.h>

#include <deque>
#include <map>
#include <optional>

// Applications' word on their own focus, from AT-SPI's focus events, kept on the thread that asks
// (the main thread). The events are dispatched on libatspi's thread, which queues each report
// here (post): nothing here is touched from there, and reports arrive in the order they came.
class AtspiFocusReports : public QObject {
    Q_OBJECT
public:
    // From any thread: the report reaches this object's thread through its event loop.
    void post(const QByteArray& busName, bool focused);

    // The number of focus reports so far.
    quint64 mark() const { return m_events; }
    // What the application on that bus connection said of its focus after the mark, and last.
    Accessibility::FocusReports since(const QByteArray& busName, quint64 mark) const;
    // What that application's next focus report says; absent when none came within timeoutMs.
    QCoro::Task<std::optional<bool>> next(QByteArray busName, qint64 timeoutMs);

signals:
    void reported(const QByteArray& busName, bool focused);

private:
    void report(const QByteArray& busName, bool focused);

    // The most recent few applications (bus names are not reused).
    struct Reports {
        bool focused = false; // the last word
        quint64 lastLoss = 0; // the number of the last report that said it lost the focus
    };
    std::map<QByteArray, Reports> m_reports;
    std::deque<QByteArray> m_order;
    quint64 m_events = 0;
};
