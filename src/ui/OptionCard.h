#pragma once

#include <QWidget>

// A card of the settings window that can be chosen. It keeps whether it is selected (the window
// decides) and hovered (its own), repaints on either, and says when it is clicked or hovered;
// what it shows is drawn by the card that derives from it.
class OptionCard : public QWidget {
    Q_OBJECT
public:
    explicit OptionCard(QWidget* parent = nullptr);

    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);

signals:
    void clicked();
    void hovered(bool inside);

protected:
    bool isHovered() const { return m_hover; }
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_selected = false;
    bool m_hover = false;
};
