#pragma once

#include "core/ReplacementFormat.h"
#include "ui/OptionCard.h"

// One replacement format in the settings window: its example, title and description, and a
// selection mark. The window says whether it is selected; hovering is its own.
class FormatOption : public OptionCard {
    Q_OBJECT
public:
    explicit FormatOption(ReplacementFormat::Format format, QWidget* parent = nullptr);

    ReplacementFormat::Format format() const { return m_format; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ReplacementFormat::Format m_format;
};
