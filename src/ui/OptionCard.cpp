#include "ui/OptionCard.h"

#include <QMouseEvent>

OptionCard::OptionCard(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_Hover);
    setCursor(Qt::PointingHandCursor);
}

void OptionCard::setSelected(bool selected)
{
    if (selected == m_selected) return;
    m_selected = selected;
    update();
}

void OptionCard::enterEvent(QEnterEvent*)
{
    m_hover = true;
    update();
    emit hovered(true);
}

void OptionCard::leaveEvent(QEvent*)
{
    m_hover = false;
    update();
    emit hovered(false);
}

void OptionCard::mouseReleaseEvent(QMouseEvent* event)
{
    // Released over the card: a press dragged off it is no choice.
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
}
