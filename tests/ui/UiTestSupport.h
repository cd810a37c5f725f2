#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <functional>

namespace UiTestSupport {

// Runs the event loop until done() holds or two seconds have passed.
inline bool spinUntil(const std::function<bool()>& done, int ms = 2000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace UiTestSupport
