#include "cli/MemoryWindows.h"

// ---------------------------------------------------------------- screens

MemoryScreens::MemoryScreens()
{
    list.append(Screen{QRectF(0, 0, 1440, 900), QRectF(0, 25, 1440, 875)});
}

std::optional<Screen> MemoryScreens::mainScreen()
{
    if (!mainIndex || *mainIndex < 0 || *mainIndex >= list.size()) return std::nullopt;
    return list[*mainIndex];
}

// ---------------------------------------------------------------- panel window

void MemoryPanelWindow::setContent(PanelModel& model, double width)
{
    m_model = &model;
    m_width = width;
    ++m_contentBuilds;
}

QSizeF MemoryPanelWindow::fittingSize()
{
    return sizer && m_model ? sizer(*m_model) : contentSize;
}

void MemoryPanelWindow::setFrame(const QRectF& frame)
{
    m_frame = frame;
    m_frames.append(frame);
}

void MemoryPanelWindow::orderFront()
{
    m_visible = true;
    ++m_orderFronts;
}

void MemoryPanelWindow::orderOut()
{
    m_visible = false;
    ++m_orderOuts;
}

std::optional<bool> MemoryPanelWindow::pressKey(quint16 keyCode, quint64 flags)
{
    if (!m_keyMonitor) return std::nullopt;
    // A copy: the handler may remove the monitor while it runs.
    const KeyHandler handler = m_keyMonitor;
    return handler(KeyEvent{keyCode, flags});
}

void MemoryPanelWindow::clickOutside()
{
    if (!m_clickMonitor) return;
    const ClickHandler handler = m_clickMonitor;
    handler();
}

// ---------------------------------------------------------------- own text view

QRectF MemoryTextView::firstRect(TextRange range) const
{
    return QRectF(origin.x() + 8.0 * double(range.location), origin.y(), 8.0 * double(range.length), 18);
}

void MemoryTextView::insertText(const QString& text, TextRange replacementRange)
{
    content.replace(replacementRange.location, replacementRange.length, text);
    selection = TextRange{replacementRange.location + text.size(), 0};
}
