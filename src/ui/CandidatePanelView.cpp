#include "ui/CandidatePanelView.h"

#include "ui/CandidateRowWidget.h"
#include "ui/UiStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr double kHeaderSide = 12;
constexpr double kHeaderTop = 9;
constexpr double kHeaderBottomEmpty = 9;
constexpr double kHeaderBottomRows = 5;
constexpr double kSpacer = 5;
constexpr double kRadius = CandidatePanelView::cornerRadius;
constexpr int kScrollHeight = 306;
constexpr double kSpinner = 12; // the smallest spinner
constexpr int kCollapsedRows = 3;

QFont headerFont() { return UiStyle::font(11.5, QFont::Medium); }
QFont hintFont() { return UiStyle::font(10); }
QFont hintMono() { return UiStyle::monoFont(10); }

QString digitRange(qsizetype shown)
{
    return shown < 2 ? QStringLiteral("1") : QStringLiteral("1~%1").arg(shown);
}

// The five pieces of the key hint; the odd ones are set in the monospaced font.
QStringList hintPieces(qsizetype shown)
{
    const QString range = digitRange(shown);
    return {range, QStringLiteral(" 교체 · "), QStringLiteral("Alt+") + range, QStringLiteral(" 복사 · "),
            QStringLiteral("esc")};
}

// Stepping through a sentence: the hint has a line of its own under the rows, as the header
// holds the sentence.
QStringList stepHintPieces(qsizetype shown)
{
    return {digitRange(shown), QStringLiteral(" 고르기 · "), QStringLiteral("space"), QStringLiteral(" 건너뛰기 · "),
            QStringLiteral("⌫"), QStringLiteral(" 뒤로 · "), QStringLiteral("esc")};
}

bool sameRows(const QList<Candidate>& a, const QList<Candidate>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Candidate& x, const Candidate& y) {
        return x.primary == y.primary && x.secondary == y.secondary && x.replacement == y.replacement
            && x.kind == y.kind && x.word == y.word;
    });
}

double hintWidth(const QStringList& pieces)
{
    double w = 0;
    for (int i = 0; i < pieces.size(); ++i)
        w += QFontMetricsF(i % 2 == 0 ? hintMono() : hintFont()).horizontalAdvance(pieces[i]);
    return w;
}

} // namespace

CandidatePanelView::CandidatePanelView(PanelModel& model, double width, QWidget* parent)
    : QWidget(parent)
    , m_model(&model)
    , m_width(width)
    , m_layout(new QVBoxLayout(this))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setFixedWidth(int(width));
    m_layout->setSpacing(0);
    m_spin.setInterval(80);
    connect(&m_spin, &QTimer::timeout, this, [this] {
        m_spinStep = (m_spinStep + 1) % 8;
        update();
    });
    connect(&model, &PanelModel::changed, this, &CandidatePanelView::modelChanged);
    modelChanged();
}

double CandidatePanelView::headerLineHeight() const
{
    const double text = QFontMetricsF(headerFont()).height();
    return std::max(text, QFontMetricsF(hintFont()).height());
}

double CandidatePanelView::bottomHeight() const
{
    if (!m_model || m_model->items().isEmpty()) return 0;
    return kSpacer + (m_model->stepping() ? QFontMetricsF(hintFont()).height() + kSpacer : 0);
}

double CandidatePanelView::headerHeight() const
{
    const bool empty = !m_model || m_model->items().isEmpty();
    return kHeaderTop + headerLineHeight() + (empty ? kHeaderBottomEmpty : kHeaderBottomRows);
}

void CandidatePanelView::modelChanged()
{
    if (!m_model) return;
    if (m_model->isLoading()) {
        if (!m_spin.isActive()) m_spin.start();
    } else {
        m_spin.stop();
    }
    if (!m_built || !sameRows(m_model->items(), m_builtItems) || m_model->expanded() != m_builtExpanded) rebuildRows();
    m_layout->setContentsMargins(0, int(std::ceil(headerHeight())), 0, int(std::ceil(bottomHeight())));
    updateGeometry();
    adjustSize();
    update();
}

void CandidatePanelView::rebuildRows()
{
    // Later, not now: the row being clicked may be the one that asked for this rebuild.
    for (CandidateRowWidget* row : m_rows) {
        row->hide();
        row->deleteLater();
    }
    m_rows.clear();
    if (m_moreRow) {
        m_moreRow->hide();
        m_moreRow->deleteLater();
    }
    m_moreRow = nullptr;
    if (m_scroll) {
        m_scroll->hide();
        m_scroll->deleteLater();
    }
    m_scroll = nullptr;
    m_rowsBox = nullptr;
    while (m_layout->count() > 0) delete m_layout->takeAt(0);

    const QList<Candidate>& items = m_model->items();
    const bool expanded = m_model->expanded();
    m_builtItems = items;
    m_builtExpanded = expanded;
    m_built = true;

    qsizetype count = items.size();
    if (!expanded && count > kCollapsedRows) count = kCollapsedRows;

    QVBoxLayout* rowLayout = m_layout;
    // Ten rows show whole: the nine a digit takes and the one after them ("더 보기" of a syllable's
    // page, a sentence step's "건너뛰기"), which a scroll would hide below its edge.
    if (expanded && items.size() > 10) {
        m_scroll = new QScrollArea(this);
        m_scroll->setFrameShape(QFrame::NoFrame);
        m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        m_scroll->setFixedSize(int(m_width), kScrollHeight);
        m_scroll->setWidgetResizable(false);
        // A thin indicator rather than a desktop scroll bar with arrows.
        m_scroll->verticalScrollBar()->setStyleSheet(QStringLiteral(
            "QScrollBar:vertical { width: 9px; background: transparent; margin: 0; }"
            "QScrollBar::handle:vertical { background: rgba(128, 128, 128, 0.45); border-radius: 3px;"
            " min-height: 24px; margin: 2px 3px 2px 0; }"
            "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"
            "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: transparent; }"));
        m_scroll->viewport()->setAutoFillBackground(false);
        m_rowsBox = new QWidget;
        m_rowsBox->setAutoFillBackground(false);
        rowLayout = new QVBoxLayout(m_rowsBox);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->setSpacing(0);
        m_scroll->setWidget(m_rowsBox);
        m_layout->addWidget(m_scroll);
        m_scroll->show();
    }
    for (qsizetype i = 0; i < count; ++i) {
        auto* row = new CandidateRowWidget(int(i + 1), items[i], m_rowsBox ? m_rowsBox : this);
        row->setFixedWidth(m_rowsBox ? int(m_width) - m_scroll->verticalScrollBar()->sizeHint().width() : int(m_width));
        const Candidate candidate = items[i];
        QPointer<PanelModel> model = m_model;
        connect(row, &CandidateRowWidget::clicked, this, [model, candidate] {
            if (model && model->pick) model->pick(candidate);
        });
        rowLayout->addWidget(row);
        row->show();
        m_rows.append(row);
    }
    if (m_rowsBox) {
        int height = 0;
        for (const CandidateRowWidget* row : m_rows) height += row->sizeHint().height();
        m_rowsBox->resize(m_rows.isEmpty() ? 0 : m_rows.first()->width(), height);
        rowLayout->activate();
    }
    if (!expanded && items.size() >= 4) {
        m_moreRow = CandidateRowWidget::moreRow(int(items.size() - kCollapsedRows), this);
        m_moreRow->setFixedWidth(int(m_width));
        QPointer<PanelModel> model = m_model;
        connect(m_moreRow, &CandidateRowWidget::clicked, this, [model] {
            if (model && model->expand) model->expand();
        });
        m_layout->addWidget(m_moreRow);
        m_moreRow->show();
    }
}

QSize CandidatePanelView::sizeHint() const
{
    double height = std::ceil(headerHeight());
    if (m_scroll) {
        height += kScrollHeight;
    } else {
        for (const CandidateRowWidget* row : m_rows) height += row->sizeHint().height();
    }
    if (m_moreRow) height += m_moreRow->sizeHint().height();
    height += std::ceil(bottomHeight());
    return QSize(int(m_width), int(height));
}

QString CandidatePanelView::keyHint() const
{
    if (!m_model || m_model->isLoading() || m_model->items().isEmpty()) return QString();
    return (m_model->stepping() ? stepHintPieces(m_model->shownCount()) : hintPieces(m_model->shownCount()))
        .join(QString());
}

void CandidatePanelView::hoverAt(const QPoint& globalPos)
{
    for (CandidateRowWidget* row : m_rows)
        row->setHovered(row->isVisible() && row->rect().contains(row->mapFromGlobal(globalPos)));
    if (m_moreRow) m_moreRow->setHovered(m_moreRow->rect().contains(m_moreRow->mapFromGlobal(globalPos)));
}

void CandidatePanelView::setCutToShape(bool cut)
{
    if (cut == m_cutToShape) return;
    m_cutToShape = cut;
    update();
}

void CandidatePanelView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPalette& pal = palette();

    // The box: translucent window colour, radius 10, a 1-pixel border inside the edge.
    const QRectF box = QRectF(rect());
    QPainterPath shape;
    shape.addRoundedRect(box, kRadius, kRadius);
    QColor material = pal.color(QPalette::Window);
    material.setAlphaF(m_cutToShape ? 1.0f : 0.96f);
    if (m_cutToShape) p.fillRect(box, material); // the window's shape rounds it
    else p.fillPath(shape, material);
    QPainterPath border;
    border.addRoundedRect(box.adjusted(0.5, 0.5, -0.5, -0.5), kRadius - 0.5, kRadius - 0.5);
    p.setPen(QPen(UiStyle::primary(pal, 0.08), 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(border);

    if (!m_model) return;
    const double line = headerLineHeight();
    const double right = box.width() - kHeaderSide;
    double textRight = right;

    if (m_model->isLoading()) {
        const QRectF spinner(right - kSpinner, kHeaderTop + (line - kSpinner) / 2, kSpinner, kSpinner);
        textRight = spinner.left() - 8;
        const QPointF c = spinner.center();
        for (int i = 0; i < 8; ++i) {
            const double angle = (i * 45.0 - 90.0) * M_PI / 180.0;
            const double fade = 0.15 + 0.85 * (((i - m_spinStep + 8) % 8) / 7.0);
            QPen pen(UiStyle::primary(pal, 0.6 * fade), 1.5, Qt::SolidLine, Qt::RoundCap);
            p.setPen(pen);
            const QPointF dir(std::cos(angle), std::sin(angle));
            p.drawLine(c + dir * (kSpinner * 0.22), c + dir * (kSpinner * 0.48));
        }
    } else if (m_model->stepping() && !m_model->items().isEmpty()) {
        const QFontMetricsF fm(hintFont());
        double x = kHeaderSide;
        const double baseline = box.height() - kSpacer - fm.descent();
        p.setPen(UiStyle::tertiary(pal));
        const QStringList pieces = stepHintPieces(m_model->shownCount());
        for (int i = 0; i < pieces.size(); ++i) {
            const QFont f = i % 2 == 0 ? hintMono() : hintFont();
            p.setFont(f);
            p.drawText(QPointF(x, baseline), pieces[i]);
            x += QFontMetricsF(f).horizontalAdvance(pieces[i]);
        }
    } else if (!m_model->items().isEmpty()) {
        const QStringList pieces = hintPieces(m_model->shownCount());
        double x = right - hintWidth(pieces);
        textRight = x - 8;
        const QFontMetricsF fm(hintFont());
        const double baseline = kHeaderTop + (line - fm.height()) / 2 + fm.ascent();
        p.setPen(UiStyle::tertiary(pal));
        for (int i = 0; i < pieces.size(); ++i) {
            const QFont f = i % 2 == 0 ? hintMono() : hintFont();
            p.setFont(f);
            p.drawText(QPointF(x, baseline), pieces[i]);
            x += QFontMetricsF(f).horizontalAdvance(pieces[i]);
        }
    }

    const QFontMetricsF fm(headerFont());
    p.setFont(headerFont());
    p.setPen(UiStyle::secondary(pal));
    const double baseline = kHeaderTop + (line - fm.height()) / 2 + fm.ascent();
    p.drawText(QPointF(kHeaderSide, baseline),
               fm.elidedText(m_model->header(), Qt::ElideRight, std::max(0.0, textRight - kHeaderSide)));
}
