#pragma once

#include "core/MeaningLine.h"
#include "core/ReplacementFormat.h"

#include <QWidget>

// One replacement format in the settings window: its example, title and description, and a
// selection mark. The window says whether it is selected; hovering is its own.
class FormatOption : public QWidget {
    Q_OBJECT
public:
    explicit FormatOption(ReplacementFormat::Format format, QWidget* parent = nullptr);

    ReplacementFormat::Format format() const { return m_format; }
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    ReplacementFormat::Format m_format;
    bool m_selected = false;
    bool m_hover = false;
};
