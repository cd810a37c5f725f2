#include "platform/fake/FakeServices.h"

// ---------------------------------------------------------------- hot keys

void FakeHotKeyService::installEventHandler(Dispatch dispatch)
{
    ++m_handlerInstalls;
    m_dispatch = std::move(dispatch);
}

HotKeyService::Registration FakeHotKeyService::registerHotKey(quint32 keyCode, quint32 carbonModifiers,
                                                              quint32 id)
{
    const Combination combination{keyCode, carbonModifiers};
    if (takenByOthers.contains(combination)) return {eventHotKeyExistsErr, 0};
    if (isRegistered(keyCode, carbonModifiers)) return {eventHotKeyExistsErr, 0};
    const quint64 ref = m_nextRef++;
    m_registered.emplace(ref, Entry{combination, id});
    return {noErr, ref};
}

void FakeHotKeyService::unregisterHotKey(quint64 ref) { m_registered.erase(ref); }

bool FakeHotKeyService::press(quint32 keyCode, quint32 carbonModifiers)
{
    for (const auto& [ref, entry] : m_registered) {
        if (entry.combination == Combination{keyCode, carbonModifiers}) {
            if (m_dispatch) m_dispatch(entry.id);
            return true;
        }
    }
    return false;
}

bool FakeHotKeyService::isRegistered(quint32 keyCode, quint32 carbonModifiers) const
{
    for (const auto& [ref, entry] : m_registered)
        if (entry.combination == Combination{keyCode, carbonModifiers}) return true;
    return false;
}

// ---------------------------------------------------------------- screens

FakeScreens::FakeScreens()
{
    list.append(Screen{QRectF(0, 0, 1440, 900), QRectF(0, 25, 1440, 875)});
}

std::optional<Screen> FakeScreens::mainScreen()
{
    if (!mainIndex || *mainIndex < 0 || *mainIndex >= list.size()) return std::nullopt;
    return list[*mainIndex];
}

// ---------------------------------------------------------------- panel window

void RecordingPanelWindow::setContent(PanelModel& model, double width)
{
    m_model = &model;
    m_width = width;
    ++m_contentBuilds;
}

QSizeF RecordingPanelWindow::fittingSize()
{
    return sizer && m_model ? sizer(*m_model) : contentSize;
}

void RecordingPanelWindow::setFrame(const QRectF& frame)
{
    m_frame = frame;
    m_frames.append(frame);
}

void RecordingPanelWindow::orderFront()
{
    m_visible = true;
    ++m_orderFronts;
}

void RecordingPanelWindow::orderOut()
{
    m_visible = false;
    ++m_orderOuts;
}

std::optional<bool> RecordingPanelWindow::pressKey(quint16 keyCode, quint64 flags)
{
    if (!m_keyMonitor) return std::nullopt;
    // A copy: the handler may remove the monitor while it runs.
    const KeyHandler handler = m_keyMonitor;
    return handler(KeyEvent{keyCode, flags});
}

void RecordingPanelWindow::clickOutside()
{
    if (!m_clickMonitor) return;
    const ClickHandler handler = m_clickMonitor;
    handler();
}

// ---------------------------------------------------------------- own text view

QRectF FakeTextView::firstRect(TextRange range) const
{
    return QRectF(origin.x() + 8.0 * double(range.location), origin.y(), 8.0 * double(range.length), 18);
}

void FakeTextView::insertText(const QString& text, TextRange replacementRange)
{
    content.replace(replacementRange.location, replacementRange.length, text);
    selection = TextRange{replacementRange.location + text.size(), 0};
}
