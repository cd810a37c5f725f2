#pragma once

#include "ui/TrayMenu.h"

#include <QAction>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QMenu>

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

// Which of the tray menu's formats are checked, in order.
inline QList<bool> formatChecks(const TrayMenu& tray)
{
    QList<bool> out;
    for (QAction* a : tray.formatMenu()->actions()) out.append(a->isChecked());
    return out;
}

} // namespace UiTestSupport
