#include "core/TextCapture.h"

#include "base/Defaults.h"
#include "core/KeyboardLayoutFix.h"
#include "base/Log.h"
#include "base/TextUtil.h"
#include "platform/Platform.h"

#include <algorithm>

namespace {

QString identifierForLog(const RunningApplication& app)
{
    return app.desktopId ? *app.desktopId : QStringLiteral("?");
}

} // namespace

// ---------------------------------------------------------------- capture

QCoro::Task<std::optional<Capture>> TextCapture::capture()
{
    const auto workspace = Platform::shared().workspace;
    const auto front = workspace->frontmostApplication();
    if (!front) co_return std::nullopt;
    const QString identifier = identifierForLog(*front);

    // Our own window is read directly; no other strategy applies there.
    if (front->pid == workspace->ownPid()) co_return captureLocal();

    if (!Defaults::shared().boolean(QStringLiteral("debugForceClipboardCapture"))) {
        if (auto cap = captureViaAX(front->pid)) {
            Log::write(QStringLiteral("선택 읽기: AX (%1)").arg(identifier));
            co_return cap;
        }
    }

    auto cap = co_await captureViaClipboard(front->pid);
    Log::write(QStringLiteral("선택 읽기: ⌘C %1 (%2)")
                   .arg(cap ? QStringLiteral("성공") : QStringLiteral("실패"), identifier));
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

AXElementRef TextCapture::focusedElement()
{
    Platform& platform = Platform::shared();
    Accessibility& ax = *platform.accessibility;
    if (auto element = AX::as<AXElementRef>(
            ax.copyAttributeValue(ax.systemWide(), Accessibility::focusedUIElementAttribute)))
        return *element;

    // Some applications answer only on their own element.
    const auto front = platform.workspace->frontmostApplication();
    if (!front || front->pid == platform.workspace->ownPid()) return nullptr;
    const AXElementRef app = ax.application(front->pid);
    if (!app) return nullptr;
    if (auto element = AX::as<AXElementRef>(ax.copyAttributeValue(app, Accessibility::focusedUIElementAttribute)))
        return *element;
    return nullptr;
}

std::optional<QString> TextCapture::value(const AXElementRef& element)
{
    if (!element) return std::nullopt;
    return AX::as<QString>(Platform::shared().accessibility->copyAttributeValue(element, Accessibility::valueAttribute));
}

std::optional<Capture> TextCapture::captureViaAX(Pid pid)
{
    const AXElementRef element = focusedElement();
    if (!element) return std::nullopt;
    Accessibility& ax = *Platform::shared().accessibility;

    const auto selectedText = AX::as<QString>(ax.copyAttributeValue(element, Accessibility::selectedTextAttribute));
    // A caret without a selection reads as blank here; the clipboard strategy gets its turn then.
    if (!selectedText || TextUtil::trimmed(*selectedText).isEmpty()) return std::nullopt;

    Capture cap;
    cap.selected = *selectedText;
    cap.context = *selectedText;
    cap.viaAccessibility = true;
    cap.element = element;
    cap.pid = pid;

    auto range = AX::as<TextRange>(ax.copyAttributeValue(element, Accessibility::selectedTextRangeAttribute));
    if (!range) return cap;

    if (const auto full = value(element)) {
        if (auto widened = expandTypoRun(element, *full, *range)) {
            cap.selected = widened->first;
            range = widened->second;
        }
        const qint64 total = full->size();
        const qint64 lo = std::max<qint64>(range->location - contextRadius, 0);
        const qint64 hi = std::min<qint64>(range->end() + contextRadius, total);
        cap.context = (hi - lo != 0 && lo <= hi) ? full->mid(lo, hi - lo) : *selectedText;
    }

    const auto bounds = AX::as<QRectF>(
        ax.copyParameterizedAttributeValue(element, Accessibility::boundsForRangeParameterizedAttribute, *range));
    if (bounds && (bounds->width() > 0 || bounds->height() > 0)) cap.selectionBounds = *bounds;
    return cap;
}

std::optional<std::pair<QString, TextRange>> TextCapture::expandTypoRun(const AXElementRef& element,
                                                                        const QString& full, TextRange range)
{
    const auto run = KeyboardLayoutFix::typoRun(full, range);
    if (!run) return std::nullopt;

    // The application's own selection has to cover the run, since the replacement is written
    // over whatever it has selected.
    Accessibility& ax = *Platform::shared().accessibility;
    if (ax.setAttributeValue(element, Accessibility::selectedTextRangeAttribute, *run) != AXError::success)
        return std::nullopt;

    const QString widened = full.mid(run->location, run->length);
    const auto readBack = AX::as<QString>(ax.copyAttributeValue(element, Accessibility::selectedTextAttribute));
    if (readBack && *readBack == widened) {
        Log::write(QStringLiteral("자모 오타 조각을 덩어리 전체로 넓힘"));
        return std::make_pair(widened, *run);
    }
    ax.setAttributeValue(element, Accessibility::selectedTextRangeAttribute, range);
    return std::nullopt;
}

QCoro::Task<std::optional<Capture>> TextCapture::captureViaClipboard(Pid pid)
{
    const auto pasteboard = Platform::shared().pasteboard;
    const auto clock = Platform::shared().clock;

    const ClipboardSnapshot snapshot(*pasteboard);
    const qint64 before = pasteboard->changeCount();

    if (!co_await KeySim::press(KeyCode::c, ModifierFlag::command, pid)) co_return std::nullopt;

    // The application copies in its own time: poll up to 20 × 25 ms.
    bool copied = false;
    for (int i = 0; i < 20 && !copied; ++i) {
        co_await clock->sleep(25);
        copied = pasteboard->changeCount() != before;
    }
    if (!copied) co_return std::nullopt;

    const auto text = pasteboard->string();
    // The user's clipboard is back before the session goes on.
    snapshot.restore(pasteboard->changeCount(), *pasteboard);
    if (!text || text->isEmpty()) co_return std::nullopt;

    Capture cap;
    cap.selected = *text;
    cap.context = *text;
    cap.viaAccessibility = false;
    cap.pid = pid;
    co_return cap;
}

// ---------------------------------------------------------------- replacement

QCoro::Task<bool> TextReplacer::replace(Capture cap, QString text)
{
    if (cap.local) {
        cap.local->insertText(text, cap.local->selectedRange());
        Log::write(QStringLiteral("치환: 소렐 창"));
        co_return true;
    }

    const auto accessibility = Platform::shared().accessibility;
    const auto clock = Platform::shared().clock;

    if (cap.viaAccessibility && cap.element) {
        const auto before = TextCapture::value(cap.element);
        if (accessibility->setAttributeValue(cap.element, Accessibility::selectedTextAttribute, text)
            == AXError::success) {
            co_await clock->sleep(80);
            const auto after = before ? TextCapture::value(cap.element) : std::nullopt;
            // Without a value before, or one that changed or cannot be read, the write is trusted.
            if (!before || !after || *after != *before) {
                Log::write(QStringLiteral("치환: AX"));
                co_return true;
            }
            Log::write(QStringLiteral("치환: AX 쓰기가 성공이라는데 글자가 그대로라 ⌘V로"));
        }
    }

    Log::write(QStringLiteral("치환: ⌘V"));
    const auto pasteboard = Platform::shared().pasteboard;
    const ClipboardSnapshot snapshot(*pasteboard);
    const qint64 ours = ClipboardSnapshot::putTransient(text, *pasteboard);
    const bool posted = co_await KeySim::press(KeyCode::v, ModifierFlag::command, cap.pid);
    // The target reads the clipboard in its own time.
    if (posted) co_await clock->sleep(300);
    snapshot.restore(ours, *pasteboard);
    co_return posted;
}

// ---------------------------------------------------------------- key simulation

QCoro::Task<bool> KeySim::press(quint16 key, quint64 flags, Pid pid)
{
    Platform& platform = Platform::shared();
    const auto clock = platform.clock;
    const auto keyPoster = platform.keyPoster;
    const auto workspace = platform.workspace;

    // A held modifier would join the synthetic one (⌘C with ⌥ held is another shortcut).
    const qint64 deadline = clock->monotonicMs() + modifierWaitMs;
    while (keyPoster->combinedModifierFlags() & modifierMask) {
        if (clock->monotonicMs() >= deadline) {
            Log::write(QStringLiteral("수정자 키가 떨어지지 않아 단축키 흉내를 건너뜀"));
            co_return false;
        }
        co_await clock->sleep(modifierPollMs);
    }

    const auto front = workspace->frontmostApplication();
    if (!front || front->pid != pid) {
        Log::write(QStringLiteral("맨 앞 앱이 바뀌어 단축키 흉내를 건너뜀"));
        co_return false;
    }

    // Without the key-down nothing reaches the application; saying it did would let a paste
    // count as a replacement.
    if (!keyPoster->postKeyEvent(key, flags, true)) {
        Log::write(QStringLiteral("키 이벤트를 만들지 못해 단축키 흉내를 건너뜀"));
        co_return false;
    }
    if (!keyPoster->postKeyEvent(key, flags, false)) Log::write(QStringLiteral("키 떼기 이벤트를 만들지 못함"));
    co_return true;
}

// ---------------------------------------------------------------- clipboard snapshot

ClipboardSnapshot::ClipboardSnapshot(Pasteboard& pasteboard)
{
    const QList<QStringList> types = pasteboard.itemTypes();
    for (qsizetype i = 0; i < types.size(); ++i) {
        PasteboardItem item;
        for (const QString& type : types[i])
            if (auto data = pasteboard.data(i, type)) item.append({type, *data});
        items.append(item);
    }
}

bool ClipboardSnapshot::restore(qint64 ifUnchangedSince, Pasteboard& pasteboard) const
{
    if (pasteboard.changeCount() != ifUnchangedSince) return false;
    pasteboard.clearContents();
    // An item none of whose types could be read has nothing to give back.
    QList<PasteboardItem> nonEmpty;
    for (const PasteboardItem& item : items)
        if (!item.isEmpty()) nonEmpty.append(item);
    if (!nonEmpty.isEmpty()) pasteboard.writeObjects(nonEmpty);
    return true;
}

qint64 ClipboardSnapshot::putTransient(const QString& text, Pasteboard& pasteboard)
{
    pasteboard.clearContents();
    pasteboard.writeObjects({PasteboardItem{{Pasteboard::stringType, text.toUtf8()},
                                            {transientType, QByteArray()},
                                            {autoGeneratedType, QByteArray()}}});
    return pasteboard.changeCount();
}
