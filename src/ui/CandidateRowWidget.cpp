#include "ui/CandidateRowWidget.h"

#include "ui/UiStyle.h"

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>

#include <cmath>

namespace {

constexpr double kOuterPad = 6;   // around the row, inside the panel
constexpr double kInnerPad = 10;  // inside the hover background
constexpr double kRowVPad = 6;
constexpr double kMoreVPad = 5;
constexpr double kSpacing = 10;
constexpr double kBadge = 16;
constexpr double kRadius = 6;
constexpr int kMaxPrimaryLines = 8;
constexpr int kDefaultWidth = 320;

QFont badgeFont() { return UiStyle::font(10, QFont::DemiBold); }
QFont secondaryFont() { return UiStyle::font(11); }
QFont moreFont() { return UiStyle::font(11.5); }
QFont arrowFont() { return UiStyle::font(10); }

} // namespace

CandidateRowWidget::CandidateRowWidget(int index, const Candidate& candidate, QWidget* parent)
    : CandidateRowWidget(parent, index, candidate, false, 0)
{
}

CandidateRowWidget* CandidateRowWidget::moreRow(int count, QWidget* parent)
{
    return new CandidateRowWidget(parent, 0, Candidate{}, true, count);
}

CandidateRowWidget::CandidateRowWidget(QWidget* parent, int index, const Candidate& candidate, bool more, int count)
    : QWidget(parent)
    , m_index(index)
    , m_candidate(candidate)
    , m_more(more)
    , m_count(count)
{
    setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QFont CandidateRowWidget::primaryFont() const
{
    return UiStyle::font(m_candidate.kind == CandidateKind::hanja ? 18 : 14, QFont::Medium);
}

int CandidateRowWidget::contentHeight() const
{
    if (m_more) {
        const QFontMetricsF fm(moreFont());
        return int(std::ceil(fm.height()));
    }
    // Texts share a baseline; the badge's centre sits 4 above it. A wrapped text adds its lines.
    const QFontMetricsF primary(primaryFont());
    const QFontMetricsF secondary(secondaryFont());
    const double ascent = std::max({primary.ascent(), secondary.ascent(), 4 + kBadge / 2});
    const double descent = std::max({primary.descent(), secondary.descent(), kBadge / 2 - 4});
    const QStringList lines = primaryLines(rowWidth());
    double height = ascent + descent + (lines.size() - 1) * primary.lineSpacing();
    if (lines.size() > 1 && !m_candidate.secondary.isEmpty()) height += secondary.lineSpacing();
    return int(std::ceil(height));
}

int CandidateRowWidget::rowWidth() const
{
    return maximumWidth() < QWIDGETSIZE_MAX ? maximumWidth() : kDefaultWidth;
}

double CandidateRowWidget::textLeft() const { return kOuterPad + kInnerPad + kBadge + kSpacing; }

double CandidateRowWidget::textRight(int width) const { return width - kOuterPad - kInnerPad; }

// A correction or a converted sentence can be far wider than the panel: it wraps rather than
// running off its edge, so what a pick writes can be read before it is written.
QStringList CandidateRowWidget::primaryLines(int width) const
{
    const QFontMetricsF fm(primaryFont());
    const double available = textRight(width) - textLeft();
    if (available <= 0 || fm.horizontalAdvance(m_candidate.primary) <= available) return {m_candidate.primary};
    QTextLayout layout(m_candidate.primary, primaryFont());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    QStringList lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(available);
        if (lines.size() == kMaxPrimaryLines - 1) {
            // The last line shown takes the rest, cut.
            lines << fm.elidedText(m_candidate.primary.mid(line.textStart()), Qt::ElideRight, available);
            break;
        }
        lines << m_candidate.primary.mid(line.textStart(), line.textLength());
    }
    layout.endLayout();
    return lines;
}

QSize CandidateRowWidget::sizeHint() const
{
    const double vpad = m_more ? kMoreVPad : kRowVPad;
    return QSize(kDefaultWidth, contentHeight() + int(2 * vpad));
}

void CandidateRowWidget::setHovered(bool hover)
{
    if (hover == m_hover) return;
    m_hover = hover;
    update();
}

void CandidateRowWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();
    const QRectF label = QRectF(rect()).adjusted(kOuterPad, 0, -kOuterPad, 0);
    if (m_hover) {
        QPainterPath bg;
        bg.addRoundedRect(label, kRadius, kRadius);
        p.fillPath(bg, UiStyle::primary(pal, 0.07));
    }
    const double left = label.left() + kInnerPad;
    const double right = label.right() - kInnerPad;

    if (m_more) {
        const QFontMetricsF fm(moreFont());
        const double baseline = kMoreVPad + fm.ascent();
        p.setFont(moreFont());
        p.setPen(UiStyle::secondary(pal));
        p.drawText(QPointF(left, baseline), QStringLiteral("＋%1개 더 보기").arg(m_count));
        const QFontMetricsF am(arrowFont());
        const QString arrow = QStringLiteral("→");
        p.setFont(arrowFont());
        p.setPen(UiStyle::tertiary(pal));
        // Centred on the label's line, as the stack centres its items.
        const double arrowBaseline = kMoreVPad + (fm.height() - am.height()) / 2 + am.ascent();
        p.drawText(QPointF(right - am.horizontalAdvance(arrow), arrowBaseline), arrow);
        return;
    }

    const QFontMetricsF primary(primaryFont());
    const QFontMetricsF secondary(secondaryFont());
    const double ascent = std::max({primary.ascent(), secondary.ascent(), 4 + kBadge / 2});
    const double baseline = kRowVPad + ascent;

    // Badge: a circle of primary at 0.08 with the row number, level with the candidate text.
    const QRectF badge(left, baseline - 4 - kBadge / 2, kBadge, kBadge);
    p.setPen(Qt::NoPen);
    p.setBrush(UiStyle::primary(pal, 0.08));
    p.drawEllipse(badge);
    if (m_index >= 1 && m_index <= 9) {
        p.setFont(badgeFont());
        p.setPen(UiStyle::secondary(pal));
        p.drawText(badge, Qt::AlignCenter, QString::number(m_index));
    }

    double x = badge.right() + kSpacing;
    const QStringList lines = primaryLines(width());
    p.setFont(primaryFont());
    p.setPen(UiStyle::primary(pal));
    for (qsizetype i = 0; i < lines.size(); ++i)
        p.drawText(QPointF(x, baseline + i * primary.lineSpacing()), lines[i].trimmed());

    if (m_candidate.secondary.isEmpty()) return;
    double secondBaseline = baseline;
    if (lines.size() > 1) {
        // Below the wrapped text, from its left edge.
        secondBaseline = baseline + (lines.size() - 1) * primary.lineSpacing() + secondary.lineSpacing();
    } else {
        x += primary.horizontalAdvance(m_candidate.primary) + kSpacing;
    }
    const double available = right - x;
    if (available > 0) {
        p.setFont(secondaryFont());
        p.setPen(UiStyle::secondary(pal));
        p.drawText(QPointF(x, secondBaseline), secondary.elidedText(m_candidate.secondary, Qt::ElideRight, available));
    }
}

void CandidateRowWidget::enterEvent(QEnterEvent*) { setHovered(true); }
void CandidateRowWidget::leaveEvent(QEvent*) { setHovered(false); }

void CandidateRowWidget::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    event->accept();
}

void CandidateRowWidget::mouseReleaseEvent(QMouseEvent* event)
{
    const bool inside = rect().contains(event->position().toPoint());
    const bool wasPressed = m_pressed;
    m_pressed = false;
    event->accept();
    if (wasPressed && inside && event->button() == Qt::LeftButton) emit clicked();
}
