#include "ui/MeaningOption.h"

#include "ui/SettingTexts.h"
#include "ui/UiStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

constexpr double kHPad = 11;
constexpr double kVPad = 9;
constexpr int kMinHeight = 56;
constexpr double kRadius = 9;
constexpr double kLineGap = 3;
constexpr double kCheck = 11;

QFont titleFont() { return UiStyle::font(12.5, QFont::DemiBold); }
QFont badgeFont() { return UiStyle::font(9, QFont::Black); }
QFont descriptionFont() { return UiStyle::font(10.5); }

QRectF descriptionBounds(const QString& text, double width)
{
    return QFontMetricsF(descriptionFont()).boundingRect(QRectF(0, 0, width, 1000), Qt::TextWordWrap, text);
}

} // namespace

MeaningOption::MeaningOption(MeaningLine::Style style, QWidget* parent)
    : OptionCard(parent)
    , m_style(style)
{
    QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int MeaningOption::heightForWidth(int width) const
{
    const double text = QFontMetricsF(titleFont()).height() + kLineGap
        + descriptionBounds(SettingTexts::meaningDescription(m_style), width - 2 * kHPad).height();
    return std::max(kMinHeight, int(std::ceil(text + 2 * kVPad)));
}

QSize MeaningOption::sizeHint() const { return QSize(118, heightForWidth(118)); }
QSize MeaningOption::minimumSizeHint() const { return QSize(90, kMinHeight); }

void MeaningOption::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QColor accent = UiStyle::accent();

    UiStyle::paintOptionCard(p, rect(), pal, kRadius, isSelected(), isHovered());

    const QRectF content = QRectF(rect()).adjusted(kHPad, kVPad, -kHPad, -kVPad);
    const QFontMetricsF tm(titleFont());
    const QString title = SettingTexts::meaningTitle(m_style);
    p.setFont(titleFont());
    p.setPen(UiStyle::primary(pal));
    p.drawText(QPointF(content.left(), content.top() + tm.ascent()), title);
    double x = content.left() + tm.horizontalAdvance(title) + 5;
    if (m_style == MeaningLine::Style::summary) {
        const QString badge = QStringLiteral("AI");
        const QFontMetricsF bm(badgeFont());
        const QRectF badgeRect(x, content.top() + (tm.height() - bm.height() - 2) / 2, bm.horizontalAdvance(badge) + 8,
                               bm.height() + 2);
        QPainterPath capsule;
        capsule.addRoundedRect(badgeRect, badgeRect.height() / 2, badgeRect.height() / 2);
        p.fillPath(capsule, accent);
        p.setFont(badgeFont());
        p.setPen(Qt::white);
        p.drawText(badgeRect, Qt::AlignCenter, badge);
        x = badgeRect.right() + 5;
    }
    if (isSelected()) {
        // A filled circle with a check, 11 px, in the accent colour.
        const QRectF circle(x, content.top() + (tm.height() - kCheck) / 2, kCheck, kCheck);
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        p.drawEllipse(circle);
        QPainterPath check;
        check.moveTo(circle.left() + 3.0, circle.center().y() + 0.1);
        check.lineTo(circle.left() + 4.8, circle.center().y() + 1.9);
        check.lineTo(circle.left() + 8.0, circle.center().y() - 1.9);
        p.setPen(QPen(Qt::white, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(check);
    }
    p.setFont(descriptionFont());
    p.setPen(UiStyle::secondary(pal));
    p.drawText(QRectF(content.left(), content.top() + tm.height() + kLineGap, content.width(), 1000),
               Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, SettingTexts::meaningDescription(m_style));
}
