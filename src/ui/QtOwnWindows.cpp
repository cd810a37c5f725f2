#include "ui/QtOwnWindows.h"

#include "ui/QtOwnTextView.h"

#include <QApplication>
#include <QWidget>

std::shared_ptr<OwnTextView> QtOwnWindows::focusedTextView()
{
    QWidget* focus = QApplication::focusWidget();
    // A focus widget kept in a window that is no longer active is not where the user selected.
    if (!focus || !QApplication::activeWindow() || focus->window() != QApplication::activeWindow()) return nullptr;
    if (!QtOwnTextView::isTextView(focus)) return nullptr;
    return std::make_shared<QtOwnTextView>(focus);
}
