#include "support/FaultyDesktop.h"

#include <utility>

AXError FaultyAccessibility::setAttributeValue(const AXElementRef& element, const QString& attribute,
                                               const AXValue& value)
{
    const auto app = owner(element);
    if (!app || !faults.contains(app->pid()) || !trusted)
        return MemoryAccessibility::setAttributeValue(element, attribute, value);
    const WriteFaults& f = faults[app->pid()];
    if (f.refused.contains(attribute)) {
        ++app->attributeWrites;
        return f.refused.value(attribute);
    }
    if (f.half.contains(attribute) && std::holds_alternative<QString>(value)) {
        ++app->attributeWrites;
        app->replaceSelection(QString());
        return AXError::cannotComplete;
    }
    const AXError error = MemoryAccessibility::setAttributeValue(element, attribute, value);
    return error == AXError::success ? f.late.value(attribute, AXError::success) : error;
}

std::optional<QByteArray> FaultyPasteboard::held(qsizetype item, const QString& type)
{
    m_lastReadLost = untakeableTypes.contains(type);
    if (unreadableTypes.contains(type) || m_lastReadLost) return std::nullopt;
    return MemoryPasteboard::held(item, type);
}

SlowCopyKeyPoster::SlowCopyKeyPoster(std::shared_ptr<Clock> clock, std::shared_ptr<MemoryWorkspace> workspace,
                                     std::shared_ptr<MemoryPasteboard> pasteboard,
                                     std::shared_ptr<MemoryPasteboard> primary)
    : MemoryKeyPoster(clock, workspace, pasteboard, std::move(primary))
    , m_clock(std::move(clock))
    , m_workspace(std::move(workspace))
    , m_pasteboard(std::move(pasteboard))
{
}

bool SlowCopyKeyPoster::reachesFront()
{
    const auto app = m_workspace->frontmost();
    return !app || !unreachable.contains(app->pid());
}

bool SlowCopyKeyPoster::postKeyEvent(quint16 keyCode, quint64 flags, bool keyDown)
{
    const auto app = m_workspace->frontmost();
    if (!reachesFront()) {
        // Sent, and lost on the way.
        const bool copies = std::exchange(app->copiesOnCopyChord, false);
        const bool pastes = std::exchange(app->pastesOnPasteChord, false);
        const bool posted = MemoryKeyPoster::postKeyEvent(keyCode, flags, keyDown);
        app->copiesOnCopyChord = copies;
        app->pastesOnPasteChord = pastes;
        return posted;
    }
    if (!keyDown || !app || !copyDelayMs.contains(app->pid()) || !app->copiesOnCopyChord)
        return MemoryKeyPoster::postKeyEvent(keyCode, flags, keyDown);
    const EditChords chords = m_workspace->editChords(app->running());
    if (KeyChord{keyCode, flags & ModifierFlag::deviceIndependentMask} != chords.copy)
        return MemoryKeyPoster::postKeyEvent(keyCode, flags, keyDown);
    // Posted as any key, but the copy comes when this application gets to it.
    app->copiesOnCopyChord = false;
    const bool posted = MemoryKeyPoster::postKeyEvent(keyCode, flags, keyDown);
    app->copiesOnCopyChord = true;
    const std::weak_ptr<MemoryApplication> weakApp = app;
    const std::weak_ptr<MemoryPasteboard> weakPasteboard = m_pasteboard;
    m_copies.push_back(m_clock->after(copyDelayMs.value(app->pid()), [weakApp, weakPasteboard] {
        const auto a = weakApp.lock();
        const auto p = weakPasteboard.lock();
        if (a && p) a->copySelection(*p);
    }));
    return posted;
}
