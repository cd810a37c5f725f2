#include "platform/atspi/AtspiFocusReports.h"

#include <QTimer>

#include <qcoro/qcorotimer.h>

#include <algorithm>
#include <limits>

namespace {
constexpr std::size_t maxReports = 64;
} // namespace

void AtspiFocusReports::post(const QByteArray& busName, bool focused)
{
    QMetaObject::invokeMethod(this, [this, busName, focused] { report(busName, focused); }, Qt::QueuedConnection);
}

void AtspiFocusReports::report(const QByteArray& busName, bool focused)
{
    ++m_events;
    const auto [at, added] = m_reports.try_emplace(busName);
    at->second.focused = focused;
    if (!focused) at->second.lastLoss = m_events;
    if (added) {
        m_order.push_back(busName);
        if (m_order.size() > maxReports) {
            m_reports.erase(m_order.front());
            m_order.pop_front();
        }
    }
    emit reported(busName, focused);
}

Accessibility::FocusReports AtspiFocusReports::since(const QByteArray& busName, quint64 mark) const
{
    const auto found = m_reports.find(busName);
    if (busName.isEmpty() || found == m_reports.end()) return {};
    return {found->second.lastLoss > mark, found->second.focused};
}

QCoro::Task<std::optional<bool>> AtspiFocusReports::next(QByteArray busName, qint64 timeoutMs)
{
    if (busName.isEmpty()) co_return std::nullopt;
    // One timer wakes the wait once, at the report or at the time-out. The connection goes with
    // the timer, so no report reaches a wait that is over (several can come in one go).
    QTimer wake;
    wake.setSingleShot(true);
    std::optional<bool> said;
    connect(this, &AtspiFocusReports::reported, &wake, [&](const QByteArray& bus, bool focused) {
        if (said || bus != busName || !wake.isActive()) return; // the wait is already over
        said = focused;
        wake.start(0);
    });
    wake.start(int(std::clamp<qint64>(timeoutMs, 0, std::numeric_limits<int>::max())));
    co_await wake;
    co_return said;
}
