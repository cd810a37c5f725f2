#pragma once

#include "core/CandidatePanel.h"

#include <QList>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class CandidateRowWidget;
class QScrollArea;
class QVBoxLayout;

// Draws the panel's model: the header line with a spinner or the key hint, the numbered rows,
// the row that offers more, in a rounded translucent box 320 wide. It watches the model's
// changed() signal; everything it shows is read from the model.
class CandidatePanelView : public QWidget {
    Q_OBJECT
public:
    CandidatePanelView(PanelModel& model, double width, QWidget* parent = nullptr);

    // The radius of the box's corners.
    static constexpr double cornerRadius = 10;

    // Whether it draws that model at that width (then it follows the model's changes itself).
    bool shows(const PanelModel& model, double width) const { return m_model == &model && m_width == width; }

    // Drawn for a window cut to the box's shape (no compositor blends its alpha): opaque to the
    // edge, since a half-transparent pixel would show dark there.
    void setCutToShape(bool cut);

    // The fitting size: the window is sized to it.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    // What is on screen, for tests and for the window's pointer routing.
    QList<CandidateRowWidget*> rows() const { return m_rows; }
    CandidateRowWidget* moreRow() const { return m_moreRow; }
    QScrollArea* scrollView() const { return m_scroll; }
    // The key hint as one line of text; empty when none is shown.
    QString keyHint() const;
    bool showsSpinner() const { return m_model->isLoading(); }
    // Marks the row under a global point as hovered and clears the others (the window routes
    // the pointer itself while it holds the grab).
    void hoverAt(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void modelChanged();
    void rebuildRows();
    double headerHeight() const;
    // Under the rows: a spacer, and the key hint's line while stepping.
    double bottomHeight() const;
    double headerLineHeight() const;

    QPointer<PanelModel> m_model;
    double m_width;
    QVBoxLayout* m_layout;
    QList<CandidateRowWidget*> m_rows;
    CandidateRowWidget* m_moreRow = nullptr;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_rowsBox = nullptr;
    // What the rows were built from, so that a header change does not rebuild them.
    QList<Candidate> m_builtItems;
    bool m_builtExpanded = false;
    bool m_built = false;
    QTimer m_spin;
    int m_spinStep = 0;
    bool m_cutToShape = false;
};
