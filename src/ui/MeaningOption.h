#pragma once

#include "core/MeaningLine.h"
#include "core/ReplacementFormat.h"

#include <QWidget>

// One meaning style in the settings window: title (with "AI" for the summary), a check when
// selected, and a description. Hovering tells the window, which previews that style.
class MeaningOption : public QWidget {
    Q_OBJECT
public:
    explicit MeaningOption(MeaningLine::Style style, QWidget* parent = nullptr);

    MeaningLine::Style style() const { return m_style; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

signals:
    void clicked();
    void hovered(bool inside);

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    MeaningLine::Style m_style;
    bool m_selected = false;
    bool m_hover = false;
};
