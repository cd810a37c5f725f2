#include "core/TextReplacer.h"

#include "base/Log.h"
#include "core/ClipboardSnapshot.h"
#include "core/KeySim.h"
#include "core/TextCapture.h"
#include "platform/Platform.h"

#include <algorithm>
#include <memory>

namespace {

// Polls on the platform clock, from the event loop, for the target's late request for the text.
class LatePasteWatch {
public:
    LatePasteWatch(std::shared_ptr<Pasteboard> pasteboard, ClipboardSnapshot snapshot, qint64 ours, Pid target)
        : m_pasteboard(std::move(pasteboard))
        , m_clock(Platform::shared().clock)
        , m_snapshot(std::move(snapshot))
        , m_ours(ours)
        , m_target(target)
        , m_until(m_clock->monotonicMs() + TextReplacer::latePasteWatchMs)
    {
        schedule();
    }

private:
    void schedule()
    {
        m_next = m_clock->after(100, [this] { check(); });
    }
    void check()
    {
        if (m_pasteboard->changeCount() != m_ours) return; // copied over: that is the user's now
        const auto readers = m_pasteboard->textReaders();
        if (readers && std::any_of(readers->begin(), readers->end(),
                                   [&](const std::optional<Pid>& pid) { return !pid || *pid == m_target; })) {
            Log::write(QStringLiteral("치환: 멈췄던 앱이 나중에 붙여넣어 클립보드를 되돌림"));
            m_snapshot.restore(m_ours, *m_pasteboard);
            return;
        }
        if (m_clock->monotonicMs() < m_until) schedule();
    }

    std::shared_ptr<Pasteboard> m_pasteboard;
    std::shared_ptr<Clock> m_clock;
    ClipboardSnapshot m_snapshot;
    qint64 m_ours;
    Pid m_target;
    qint64 m_until;
    std::unique_ptr<Clock::Pending> m_next;
};

std::unique_ptr<LatePasteWatch>& latePasteWatch()
{
    static std::unique_ptr<LatePasteWatch> watch;
    return watch;
}

} // namespace

void TextReplacer::stopWatchingLatePaste() { latePasteWatch().reset(); }

QCoro::Task<bool> TextReplacer::replace(Capture cap, QString text, std::function<bool()> keepUnread, bool oneUndoStep)
{
    // Writing the selection over itself only collapses it; a paste that took the unchanged text
    // for a failed write would then put it in a second time.
    if (text == cap.selected) {
        Log::write(QStringLiteral("치환: 바꿀 글이 선택한 글과 같아 그대로 둠"));
        co_return true;
    }

    if (cap.local) {
        cap.local->insertText(text, cap.local->selectedRange());
        Log::write(QStringLiteral("치환: 소렐 창"));
        co_return true;
    }

    // The focus may have moved to a password field since the capture: nothing is written there.
    bool secure = cap.secure;
    if (!secure) secure = co_await TextCapture::focusIsSecure(cap.pid);
    if (secure) {
        Log::write(QStringLiteral("치환: 암호 칸이라 쓰지 않음"));
        co_return false;
    }

    const auto accessibility = Platform::shared().accessibility;
    const auto clock = Platform::shared().clock;

    const bool pasteFirst = oneUndoStep && Platform::shared().keyPoster->reachesFront();
    if (pasteFirst) Log::write(QStringLiteral("치환: 한 번에 되돌릴 수 있게 붙여넣기로"));
    if (cap.viaAccessibility && cap.element && !pasteFirst) {
        const auto before = co_await TextCapture::value(cap.element);
        const AXError written =
            co_await accessibility->setAttributeValueAsync(cap.element, Accessibility::selectedTextAttribute, text);
        if (written == AXError::success) {
            // Without a value before, or one that changed or cannot be read, the write is trusted;
            // so is an unchanged value where the replacement reads as what it replaced (an
            // application that keeps its text composed).
            const bool sameText = text.normalized(QString::NormalizationForm_C)
                == cap.selected.normalized(QString::NormalizationForm_C);
            std::optional<QString> after = before;
            const qint64 wrote = clock->monotonicMs();
            while (before && !sameText && after && *after == *before
                   && clock->monotonicMs() - wrote < writeShowsWithinMs) {
                co_await clock->sleep(20);
                after = co_await TextCapture::value(cap.element);
            }
            if (!before || !after || *after != *before || sameText) {
                Log::write(QStringLiteral("치환: AX"));
                co_return true;
            }
            Log::write(QStringLiteral("치환: AX 쓰기가 성공이라는데 글자가 그대로라 ⌘V로"));
        } else if (before) {
            // A call that timed out may still have been carried out by a slow application: a paste
            // on top would write the text twice. A changed value says it was.
            co_await clock->sleep(80);
            const auto after = co_await TextCapture::value(cap.element);
            if (after && *after != *before) {
                if (after->count(text) > before->count(text)) {
                    Log::write(QStringLiteral("치환: AX (늦게 끝남)"));
                    co_return true;
                }
                // The selection went and the replacement never came: it is pasted at the caret,
                // where the selection was.
                Log::write(QStringLiteral("치환: AX가 선택만 지우고 글을 넣지 못해 ⌘V로"));
            }
        }
    }

    Platform& platform = Platform::shared();
    // No synthetic key reaches a native Wayland window: the user pastes it, having been told.
    if (!platform.keyPoster->reachesFront()) {
        Log::write(QStringLiteral("치환: 키가 닿지 않는 창이라 바꿀 글을 클립보드에 남김"));
        if (keepUnread && keepUnread()) {
            TextCapture::stopWatchingLateCopy();
            platform.pasteboard->clearContents();
            platform.pasteboard->setString(text);
        }
        co_return false;
    }
    Log::write(QStringLiteral("치환: ⌘V"));
    // Where the paste chord reads from (PRIMARY for Shift+Insert in xterm) is lent for the paste.
    const auto pasteboard = cap.chords.pastesPrimary && platform.primarySelection ? platform.primarySelection
                                                                                  : platform.pasteboard;
    TextCapture::stopWatchingLateCopy();
    const ClipboardSnapshot snapshot = co_await ClipboardSnapshot::take(*pasteboard);
    const qint64 ours = ClipboardSnapshot::putTransient(text, *pasteboard);
    const bool posted = co_await KeySim::press(cap.chords.paste.keyCode, cap.chords.paste.flags, cap.pid);
    if (!posted) {
        snapshot.restore(ours, *pasteboard);
        co_return false;
    }
    // The target reads the clipboard in its own time; where the requests are seen, the
    // replacement stays until the target's came (or one whose sender cannot be told).
    const qint64 start = clock->monotonicMs();
    co_await clock->sleep(pasteSettleMs);
    const auto read = [&] {
        const auto readers = pasteboard->textReaders();
        return !readers || std::any_of(readers->begin(), readers->end(), [&](const std::optional<Pid>& pid) {
            return !pid || *pid == cap.pid;
        });
    };
    bool wasRead = read();
    while (!wasRead && pasteboard->changeCount() == ours && clock->monotonicMs() - start < pasteDeadlineMs) {
        co_await clock->sleep(25);
        wasRead = read();
    }
    if (wasRead || pasteboard->changeCount() != ours) {
        snapshot.restore(ours, *pasteboard);
        co_return true;
    }
    const QString unread = QStringLiteral("치환: ⌘V 뒤 %1 ms 동안 붙여넣기 요청이 없어 ").arg(clock->monotonicMs() - start);
    // Requests came, none by the target's process as known here: a clipboard history, or the
    // target itself under another process id (a sandbox). Not known to have failed.
    if (const auto readers = pasteboard->textReaders(); readers && !readers->isEmpty()) {
        Log::write(unread + QStringLiteral("클립보드를 되돌림"));
        snapshot.restore(ours, *pasteboard);
        co_return true;
    }
    if (!keepUnread || !keepUnread()) {
        Log::write(unread + QStringLiteral("클립보드를 되돌림 (바꾸지 못함)"));
        snapshot.restore(ours, *pasteboard);
        co_return false;
    }
    Log::write(unread + QStringLiteral("바꿀 글을 클립보드에 남김"));
    const qint64 told = clock->monotonicMs();
    while (pasteboard->changeCount() == ours && clock->monotonicMs() - told < lateReadMs) {
        co_await clock->sleep(25);
        if (pasteboard->changeCount() == ours && read()) {
            Log::write(QStringLiteral("치환: ⌘V 뒤 %1 ms에 늦게 붙여넣음").arg(clock->monotonicMs() - start));
            snapshot.restore(ours, *pasteboard);
            co_return true;
        }
    }
    if (pasteboard->changeCount() == ours)
        latePasteWatch() = std::make_unique<LatePasteWatch>(pasteboard, std::move(snapshot), ours, cap.pid);
    co_return false;
}
