#pragma once

#include "core/CandidatePanel.h"

#include <QWidget>

// One row of the candidate panel: a numbered badge, the candidate and its second line; or the
// row that offers the rows not shown ("＋N개 더 보기"). Its hover background is the only state it
// keeps. A click acts at once: the panel never takes activation, so there is no first click to
// spend on it.
class CandidateRowWidget : public QWidget {
    Q_OBJECT
public:
    // index is 1-based; rows past 9 carry an empty badge.
    CandidateRowWidget(int index, const Candidate& candidate, QWidget* parent = nullptr);
    // The row that offers count more candidates.
    static CandidateRowWidget* moreRow(int count, QWidget* parent = nullptr);

    bool isMoreRow() const { return m_more; }
    const Candidate& candidate() const { return m_candidate; }
    bool isHovered() const { return m_hover; }
    void setHovered(bool hover);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    CandidateRowWidget(QWidget* parent, int index, const Candidate& candidate, bool more, int count);
    QFont primaryFont() const;
    int contentHeight() const;
    int rowWidth() const;
    double textLeft() const;
    double textRight(int width) const;
    // The candidate's text as drawn: one line, or wrapped to the row (at most 8 lines).
    QStringList primaryLines(int width) const;

    int m_index;
    Candidate m_candidate;
    bool m_more;
    int m_count;
    bool m_hover = false;
    bool m_pressed = false;
};
