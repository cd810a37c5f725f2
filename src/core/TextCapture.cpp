#include "core/TextCapture.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "base/TextUtil.h"
#include "core/ClipboardSnapshot.h"
#include "core/KeyboardLayoutFix.h"
#include "core/KeySim.h"
#include "core/TextReplacer.h"
#include "platform/Platform.h"

#include <algorithm>
#include <memory>

namespace {

QString identifierForLog(const RunningApplication& app)
{
    return app.desktopId ? *app.desktopId : QStringLiteral("?");
}

// A selection known only as text (from a clipboard or PRIMARY): it is its own context.
std::optional<Capture> plainTextCapture(const std::optional<QString>& text, Pid pid)
{
    if (!text || text->isEmpty()) return std::nullopt;
    Capture cap;
    cap.selected = *text;
    cap.context = *text;
    cap.viaAccessibility = false;
    cap.pid = pid;
    return cap;
}

// After a copy chord that seemed to do nothing: a copy that still comes within the grace time
// is the application's late answer and is undone. Polls on the platform clock, as the capture does.
class LateCopyWatch {
public:
    LateCopyWatch(ClipboardSnapshot snapshot, qint64 before, Pid pid, QString identifier)
        : m_pasteboard(Platform::shared().pasteboard)
        , m_clock(Platform::shared().clock)
        , m_snapshot(std::move(snapshot))
        , m_before(before)
        , m_pid(pid)
        , m_identifier(std::move(identifier))
        , m_deadline(m_clock->monotonicMs() + TextCapture::lateCopyGraceMs)
    {
        schedule();
    }

    void watchWhile(std::function<bool()> condition) { m_while = std::move(condition); }

private:
    void schedule()
    {
        m_next = m_clock->after(25, [this] { check(); });
    }

    void check()
    {
        if (m_while && !m_while()) {
            m_next.reset();
            return;
        }
        const qint64 count = m_pasteboard->changeCount();
        if (count == m_before) {
            if (m_clock->monotonicMs() < m_deadline) schedule();
            else m_next.reset();
            return;
        }
        // Another program's copy in the meantime is the user's own and stays.
        const auto owner = m_pasteboard->ownerPid();
        if ((!owner || *owner == m_pid) && m_snapshot.restore(count, *m_pasteboard))
            Log::write(QStringLiteral("선택 읽기: ⌘C 복사가 늦게 와서 클립보드를 되돌림 (%1)").arg(m_identifier));
        m_snapshot.items.clear();
        m_next.reset();
    }

    std::shared_ptr<Pasteboard> m_pasteboard;
    std::shared_ptr<Clock> m_clock;
    ClipboardSnapshot m_snapshot;
    qint64 m_before;
    Pid m_pid;
    QString m_identifier;
    qint64 m_deadline;
    std::function<bool()> m_while;
    std::unique_ptr<Clock::Pending> m_next;
};

std::unique_ptr<LateCopyWatch>& lateCopyWatch()
{
    static std::unique_ptr<LateCopyWatch> watch;
    return watch;
}

} // namespace

void TextCapture::stopWatchingLateCopy()
{
    lateCopyWatch().reset();
    TextReplacer::stopWatchingLatePaste();
}

void TextCapture::watchLateCopyWhile(std::function<bool()> condition)
{
    if (lateCopyWatch()) lateCopyWatch()->watchWhile(std::move(condition));
}

QCoro::Task<std::optional<Capture>> TextCapture::capture(bool accessibility, QString* why)
{
    const auto workspace = Platform::shared().workspace;
    auto asking = workspace->frontmostApplicationAsync();
    const std::optional<RunningApplication> front = co_await asking;
    if (!front) co_return std::nullopt;
    const QString identifier = identifierForLog(*front);

    // Our own window is read directly; no other strategy applies there.
    if (front->pid == workspace->ownPid()) co_return captureLocal();

    // A password field is not read, not even as its mask, nor copied from.
    const AXElementRef focus = co_await focusedElement(front->pid);
    const bool secure = co_await isSecure(focus);
    if (secure) {
        Log::write(QStringLiteral("선택 읽기: 암호 칸이라 읽지 않음 (%1)").arg(identifier));
        Capture cap;
        cap.secure = true;
        cap.pid = front->pid;
        co_return cap;
    }

    const EditChords chords = workspace->editChords(*front);
    std::optional<Capture> cap;
    if (accessibility && !Defaults::shared().boolean(QStringLiteral("debugForceClipboardCapture"))) {
        cap = co_await captureViaAX(front->pid, focus);
        if (cap) Log::write(QStringLiteral("선택 읽기: AX (%1)").arg(identifier));
        else if (!focus) Log::write(QStringLiteral("선택 읽기: AX로 포커스된 요소를 찾지 못함 (%1)").arg(identifier));
    }
    // A pick's paste may still hold the clipboard (or PRIMARY): what it holds is not the user's.
    if (!cap && !co_await ClipboardLoan::allEnded())
        Log::write(QStringLiteral("선택 읽기: 붙여넣기가 클립보드를 %1 ms 넘게 쥐고 있어 그대로 읽음").arg(ClipboardLoan::waitLimitMs));
    if (!cap && chords.terminal) {
        cap = co_await captureViaPrimary(front->pid);
        Log::write(QStringLiteral("선택 읽기: PRIMARY %1 (%2)")
                       .arg(cap ? QStringLiteral("성공") : QStringLiteral("실패"), identifier));
    } else if (!cap) {
        cap = co_await captureViaClipboard(front->pid, chords, identifier, why);
        Log::write(QStringLiteral("선택 읽기: ⌘C %1 (%2)")
                       .arg(cap ? QStringLiteral("성공") : QStringLiteral("실패"), identifier));
    }
    if (cap) cap->chords = chords;
    co_return cap;
}

std::optional<Capture> TextCapture::captureLocal()
{
    const auto view = Platform::shared().ownWindows->focusedTextView();
    if (!view) return std::nullopt;
    const TextRange range = view->selectedRange();
    if (range.length < 1) return std::nullopt;
    const QString text = view->text();

    // The view answers in global top-left coordinates already, the convention of every bounds
    // the session carries, so no flip against the primary screen is needed.
    const QRectF rect = view->firstRect(range);
    Log::write(QStringLiteral("선택 읽기: 소렐 창"));

    Capture cap;
    cap.selected = text.mid(range.location, range.length);
    cap.context = text;
    cap.viaAccessibility = false;
    cap.selectionBounds = rect;
    cap.pid = Platform::shared().workspace->ownPid();
    cap.local = view;
    return cap;
}

QCoro::Task<AXElementRef> TextCapture::focusedElement(Pid pid)
{
    Platform& platform = Platform::shared();
    const std::shared_ptr<Accessibility> ax = platform.accessibility;
    if (pid == platform.workspace->ownPid()) co_return AXElementRef{};
    // The system-wide focus can still name an application in the background (one that never
    // reported losing it): only the front application's element is read and written.
    const AXResult<AXValue> systemFocus =
        co_await ax->copyAttributeValueAsync(ax->systemWide(), Accessibility::focusedUIElementAttribute);
    if (auto element = AX::as<AXElementRef>(systemFocus)) {
        const AXResult<Pid> owner = co_await ax->processIdentifierAsync(*element);
        if (owner.ok() && owner.value == pid) co_return *element;
        Log::write(owner.ok() ? QStringLiteral("포커스된 요소가 맨 앞 앱(pid %1)이 아닌 pid %2의 것이라 AX를 건너뜀")
                                    .arg(pid)
                                    .arg(owner.value)
                              : QStringLiteral("포커스된 요소의 프로세스를 알 수 없어 AX를 건너뜀"));
    }

    // Some applications answer only on their own element.
    const AXElementRef app = co_await ax->applicationAsync(pid);
    if (!app) co_return AXElementRef{};
    const AXResult<AXValue> appFocus = co_await ax->copyAttributeValueAsync(app, Accessibility::focusedUIElementAttribute);
    co_return AX::as<AXElementRef>(appFocus).value_or(nullptr);
}

QCoro::Task<std::optional<QString>> TextCapture::value(AXElementRef element)
{
    if (!element) co_return std::nullopt;
    const AXResult<AXValue> read =
        co_await Platform::shared().accessibility->copyAttributeValueAsync(element, Accessibility::valueAttribute);
    co_return AX::as<QString>(read);
}

QCoro::Task<bool> TextCapture::isSecure(AXElementRef element)
{
    if (!element) co_return false;
    const AXResult<AXValue> subrole =
        co_await Platform::shared().accessibility->copyAttributeValueAsync(element, Accessibility::subroleAttribute);
    co_return AX::as<QString>(subrole) == Accessibility::secureTextFieldSubrole;
}

QCoro::Task<bool> TextCapture::focusIsSecure(Pid pid)
{
    const AXElementRef focus = co_await focusedElement(pid);
    const bool secure = co_await isSecure(focus);
    co_return secure;
}

QCoro::Task<std::optional<Capture>> TextCapture::captureViaAX(Pid pid, AXElementRef element)
{
    if (!element) co_return std::nullopt;
    const std::shared_ptr<Accessibility> ax = Platform::shared().accessibility;

    // Read together, in one trip: the rectangle is read again only where the range is widened.
    const Accessibility::SelectionReads reads = co_await ax->readSelectionAsync(element);
    const auto selectedText = AX::as<QString>(reads.selectedText);
    // A caret without a selection reads as blank here; the clipboard strategy gets its turn then.
    if (!selectedText || TextUtil::trimmed(*selectedText).isEmpty()) {
        Log::write(selectedText ? QStringLiteral("선택 읽기: AX로 읽은 선택이 비어 있음")
                                : QStringLiteral("선택 읽기: AX로 선택을 읽지 못함 (오류 %1)").arg(qint32(reads.selectedText.error)));
        co_return std::nullopt;
    }

    Capture cap;
    cap.selected = *selectedText;
    cap.context = *selectedText;
    cap.viaAccessibility = true;
    cap.element = element;
    cap.pid = pid;

    auto range = AX::as<TextRange>(reads.range);
    if (!range) co_return cap;

    AXResult<AXValue> boundsRead = reads.bounds;
    if (const auto full = AX::as<QString>(reads.value)) {
        if (auto widened = co_await expandTypoRun(element, *full, *range)) {
            cap.selected = widened->first;
            range = widened->second;
            boundsRead = co_await ax->copyParameterizedAttributeValueAsync(
                element, Accessibility::boundsForRangeParameterizedAttribute, *range);
        }
        const qint64 total = full->size();
        const qint64 lo = std::max<qint64>(range->location - contextRadius, 0);
        const qint64 hi = std::min<qint64>(range->end() + contextRadius, total);
        cap.context = (hi - lo != 0 && lo <= hi) ? full->mid(lo, hi - lo) : *selectedText;
    }

    const auto bounds = AX::as<QRectF>(boundsRead);
    if (bounds && (bounds->width() > 0 || bounds->height() > 0)) cap.selectionBounds = *bounds;
    co_return cap;
}

QCoro::Task<std::optional<std::pair<QString, TextRange>>> TextCapture::expandTypoRun(AXElementRef element,
                                                                                       QString full, TextRange range)
{
    const auto run = KeyboardLayoutFix::typoRun(full, range);
    if (!run) co_return std::nullopt;

    // The application's own selection has to cover the run, since the replacement is written
    // over whatever it has selected.
    const std::shared_ptr<Accessibility> ax = Platform::shared().accessibility;
    const AXError selected = co_await ax->setAttributeValueAsync(element, Accessibility::selectedTextRangeAttribute, *run);
    if (selected != AXError::success) co_return std::nullopt;

    const QString widened = full.mid(run->location, run->length);
    const AXResult<AXValue> readBackRead = co_await ax->copyAttributeValueAsync(element, Accessibility::selectedTextAttribute);
    const auto readBack = AX::as<QString>(readBackRead);
    if (readBack && *readBack == widened) {
        Log::write(QStringLiteral("자모 오타 조각을 덩어리 전체로 넓힘"));
        co_return std::make_pair(widened, *run);
    }
    co_await ax->setAttributeValueAsync(element, Accessibility::selectedTextRangeAttribute, range);
    co_return std::nullopt;
}

QCoro::Task<std::optional<Capture>> TextCapture::captureViaClipboard(Pid pid, EditChords chords, QString identifier,
                                                                      QString* why)
{
    const auto pasteboard = Platform::shared().pasteboard;
    const auto clock = Platform::shared().clock;

    stopWatchingLateCopy();
    ClipboardSnapshot snapshot = co_await ClipboardSnapshot::take(*pasteboard);
    // A copy would replace what could not be saved, for good.
    if (!snapshot.complete()) {
        Log::write(QStringLiteral("선택 읽기: 클립보드를 다 보관하지 못해(형식 %1개) ⌘C를 보내지 않음").arg(snapshot.lost));
        if (why) *why = clipboardUnsavedNotice;
        co_return std::nullopt;
    }
    const qint64 before = pasteboard->changeCount();

    if (!co_await KeySim::press(chords.copy.keyCode, chords.copy.flags, pid)) co_return std::nullopt;

    // The application copies in its own time: poll up to 20 × 25 ms.
    bool copied = false;
    for (int i = 0; i < 20 && !copied; ++i) {
        co_await clock->sleep(25);
        copied = pasteboard->changeCount() != before;
    }
    if (!copied) {
        lateCopyWatch() = std::make_unique<LateCopyWatch>(std::move(snapshot), before, pid, identifier);
        co_return std::nullopt;
    }

    const std::optional<QString> text = co_await pasteboard->string();
    // The user's clipboard is back before the session goes on.
    snapshot.restore(pasteboard->changeCount(), *pasteboard);
    co_return plainTextCapture(text, pid);
}

QCoro::Task<std::optional<Capture>> TextCapture::captureViaPrimary(Pid pid)
{
    // PRIMARY holds whatever was selected last, anywhere: only the terminal's own is its selection.
    const auto primary = Platform::shared().primarySelection;
    if (!primary || primary->ownerPid() != pid) co_return std::nullopt;
    const std::optional<QString> text = co_await primary->string();
    co_return plainTextCapture(text, pid);
}
