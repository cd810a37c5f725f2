#include "ui/FormatOption.h"

#include "ui/SettingTexts.h"
#include "ui/UiStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

constexpr double kHPad = 13;
constexpr double kVPad = 11;
constexpr double kExampleColumn = 92;
constexpr double kMark = 20;
constexpr double kRadius = 10;
constexpr double kTitleGap = 2;

QFont exampleFont() { return UiStyle::font(19, QFont::DemiBold); }
QFont titleFont() { return UiStyle::font(13.5, QFont::DemiBold); }
QFont badgeFont() { return UiStyle::font(10, QFont::DemiBold); }
QFont descriptionFont() { return UiStyle::font(11.5); }

// 92 wide, or wider where the font sets the longest example wider than that.
double exampleColumn()
{
    const QFontMetricsF fm(exampleFont());
    double widest = 0;
    for (const auto f : {ReplacementFormat::Format::hangulParenHanja, ReplacementFormat::Format::hanjaParenHangul,
                         ReplacementFormat::Format::hanjaOnly})
        widest = std::max(widest, fm.horizontalAdvance(SettingTexts::formatExample(f)) + 10);
    return std::max(kExampleColumn, widest);
}

double columnHeight()
{
    return QFontMetricsF(titleFont()).height() + kTitleGap + QFontMetricsF(descriptionFont()).height();
}

} // namespace

FormatOption::FormatOption(ReplacementFormat::Format format, QWidget* parent)
    : OptionCard(parent)
    , m_format(format)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize FormatOption::sizeHint() const
{
    const double content = std::max({QFontMetricsF(exampleFont()).height(), columnHeight(), kMark});
    return QSize(372, int(std::ceil(content + 2 * kVPad)));
}

void FormatOption::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QColor accent = UiStyle::accent();

    UiStyle::paintOptionCard(p, rect(), pal, kRadius, isSelected(), isHovered());

    const QRectF content = QRectF(rect()).adjusted(kHPad, kVPad, -kHPad, -kVPad);
    p.setFont(exampleFont());
    p.setPen(isSelected() ? accent : UiStyle::primary(pal));
    p.drawText(QRectF(content.left(), content.top(), exampleColumn(), content.height()), Qt::AlignVCenter | Qt::AlignLeft,
               SettingTexts::formatExample(m_format));

    const double colLeft = content.left() + exampleColumn();
    const double colTop = content.center().y() - columnHeight() / 2;
    const QFontMetricsF tm(titleFont());
    const QString title = SettingTexts::formatTitle(m_format);
    p.setFont(titleFont());
    p.setPen(UiStyle::primary(pal));
    p.drawText(QPointF(colLeft, colTop + tm.ascent()), title);
    if (m_format == ReplacementFormat::Format::hangulParenHanja) {
        const QString badge = QStringLiteral("기본");
        const QFontMetricsF bm(badgeFont());
        const QRectF badgeRect(colLeft + tm.horizontalAdvance(title) + 6, colTop + (tm.height() - bm.height() - 2) / 2,
                               bm.horizontalAdvance(badge) + 12, bm.height() + 2);
        QColor badgeFill = accent;
        badgeFill.setAlphaF(0.1f);
        QPainterPath badgeShape;
        badgeShape.addRoundedRect(badgeRect, 4, 4);
        p.fillPath(badgeShape, badgeFill);
        p.setFont(badgeFont());
        p.setPen(accent);
        p.drawText(badgeRect, Qt::AlignCenter, badge);
    }
    const QFontMetricsF dm(descriptionFont());
    p.setFont(descriptionFont());
    p.setPen(UiStyle::secondary(pal));
    p.drawText(QPointF(colLeft, colTop + tm.height() + kTitleGap + dm.ascent()), SettingTexts::formatDescription(m_format));

    const QRectF mark(content.right() - kMark, content.center().y() - kMark / 2, kMark, kMark);
    if (isSelected()) {
        p.setPen(Qt::NoPen);
        p.setBrush(accent);
        p.drawEllipse(mark);
        // The check, drawn: 10 px bold white.
        QPainterPath check;
        check.moveTo(mark.left() + 5.8, mark.center().y() + 0.2);
        check.lineTo(mark.left() + 8.8, mark.center().y() + 3.2);
        check.lineTo(mark.left() + 14.4, mark.center().y() - 3.4);
        p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPath(check);
    } else {
        QColor ring = UiStyle::secondary(pal);
        ring.setAlphaF(ring.alphaF() * 0.6f);
        p.setPen(QPen(ring, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(mark.adjusted(0.75, 0.75, -0.75, -0.75));
    }
}
