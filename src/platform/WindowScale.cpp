#include "platform/WindowScale.h"

#include <QList>

#include <cmath>

namespace WindowScale {
namespace {

// Smaller windows leave neighbouring scales within rounding of each other.
constexpr double minimumSide = 32;

double tolerance(double scale) { return 2 * scale + 1; }

QString text(const QRectF& r)
{
    return QStringLiteral("%1,%2 %3×%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

QRectF Mapping::toDevice(const QRectF& reported) const
{
    return QRectF(reported.topLeft() * scale + offset, reported.size() * scale);
}

Finding derive(const QRectF& reported, const DeviceWindow& device)
{
    if (reported.width() < minimumSide || reported.height() < minimumSide || device.client.isEmpty())
        return {std::nullopt, QStringLiteral("창이 너무 작거나 없음 (%1)").arg(text(reported))};
    const QRectF candidates[] = {device.client + device.decorations, device.client, device.client - device.shadow};
    std::optional<Mapping> found;
    double bestDistance = 0;
    QList<double> fitting;
    for (const QRectF& c : candidates) {
        for (const double s : knownScales) {
            const double tol = tolerance(s);
            if (std::abs(reported.width() * s - c.width()) > tol || std::abs(reported.height() * s - c.height()) > tol)
                continue;
            if (!fitting.contains(s)) fitting << s;
            QPointF offset = c.topLeft() - reported.topLeft() * s;
            if (std::abs(offset.x()) <= tol && std::abs(offset.y()) <= tol) offset = QPointF();
            const double distance = std::abs(offset.x()) + std::abs(offset.y());
            if (!found || distance < bestDistance) {
                found = Mapping{s, offset};
                bestDistance = distance;
            }
        }
    }
    const QString both = QStringLiteral("보고된 %1, 실제 %2").arg(text(reported), text(device.client));
    if (fitting.isEmpty()) return {std::nullopt, QStringLiteral("맞는 배율이 없음: %1").arg(both)};
    if (fitting.size() > 1) return {std::nullopt, QStringLiteral("배율이 하나로 정해지지 않음: %1").arg(both)};
    return {found, {}};
}

} // namespace WindowScale
