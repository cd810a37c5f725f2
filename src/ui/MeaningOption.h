#pragma once

#include "core/MeaningLine.h"
#include "ui/OptionCard.h"

// One meaning style in the settings window: title (with "AI" for the summary), a check when
// selected, and a description. Hovering tells the window, which previews that style.
class MeaningOption : public OptionCard {
    Q_OBJECT
public:
    explicit MeaningOption(MeaningLine::Style style, QWidget* parent = nullptr);

    MeaningLine::Style style() const { return m_style; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MeaningLine::Style m_style;
};
