#include "cli/MemoryDesktop.h"

#include "platform/Platform.h"

// ---------------------------------------------------------------- application

MemoryApplication::MemoryApplication(Pid pid, std::optional<QString> desktopId)
    : m_pid(pid)
    , m_desktopId(std::move(desktopId))
{
    boundsForRange = [](TextRange range) -> std::optional<QRectF> {
        return QRectF(100 + 10.0 * double(range.location), 200, 10.0 * double(range.length), 20);
    };
}

void MemoryApplication::reportFocus(bool focused)
{
    hasAccessibleFocus = focused;
    reportedFocus = focused;
    lastReport = ++focusEvents;
    if (!focused) lastLoss = lastReport;
}

QString MemoryApplication::selectedText() const
{
    return text.mid(selection.location, selection.length);
}

void MemoryApplication::replaceSelection(const QString& replacement)
{
    text.replace(selection.location, selection.length, replacement);
    selection = TextRange{selection.location + replacement.size(), 0};
}

void MemoryApplication::copySelection(MemoryPasteboard& pasteboard)
{
    // Like most editors, a copy without a selection leaves the clipboard alone.
    if (selection.length <= 0) return;
    pasteboard.writeStringFromOtherProgram(selectedText());
    pasteboard.owner = m_pid;
}

void MemoryApplication::pasteFrom(MemoryPasteboard& pasteboard)
{
    if (const auto s = pasteboard.stringFor(m_pid)) replaceSelection(*s);
}

// ---------------------------------------------------------------- workspace

MemoryWorkspace::MemoryWorkspace(Pid ownPid, std::optional<QString> ownIdentifier)
    : m_ownPid(ownPid)
    , m_ownIdentifier(std::move(ownIdentifier))
{
}

std::shared_ptr<MemoryApplication> MemoryWorkspace::addApplication(Pid pid, std::optional<QString> identifier)
{
    auto app = std::make_shared<MemoryApplication>(pid, std::move(identifier));
    m_apps[pid] = app;
    return app;
}

std::shared_ptr<MemoryApplication> MemoryWorkspace::application(Pid pid) const
{
    const auto it = m_apps.find(pid);
    return it == m_apps.end() ? nullptr : it->second;
}

void MemoryWorkspace::activate(Pid pid)
{
    m_frontmost = pid;
    const RunningApplication activated = pid == m_ownPid ? RunningApplication{pid, m_ownIdentifier, std::nullopt}
                                         : application(pid) ? application(pid)->running()
                                                            : RunningApplication{pid, std::nullopt, std::nullopt};
    // Observers may remove themselves while being told.
    const auto observers = m_observers;
    for (const auto& [handle, observer] : observers)
        if (m_observers.count(handle)) observer(activated);
}

void MemoryWorkspace::clearFrontmost() { m_frontmost.reset(); }

std::shared_ptr<MemoryApplication> MemoryWorkspace::frontmost() const
{
    return m_frontmost ? application(*m_frontmost) : nullptr;
}

std::optional<RunningApplication> MemoryWorkspace::frontmostApplication()
{
    if (!m_frontmost) return std::nullopt;
    if (*m_frontmost == m_ownPid) return RunningApplication{m_ownPid, m_ownIdentifier, std::nullopt};
    if (const auto app = application(*m_frontmost)) return app->running();
    return RunningApplication{*m_frontmost, std::nullopt, std::nullopt};
}

Workspace::ObserverHandle MemoryWorkspace::observeActivation(ActivationObserver observer)
{
    const ObserverHandle handle = m_nextHandle++;
    m_observers.emplace(handle, std::move(observer));
    return handle;
}

void MemoryWorkspace::removeObserver(ObserverHandle handle) { m_observers.erase(handle); }

// ---------------------------------------------------------------- pasteboard

QList<QStringList> MemoryPasteboard::types() const
{
    QList<QStringList> result;
    for (const PasteboardItem& item : m_items) {
        QStringList types;
        for (const auto& [type, data] : item) types << type;
        result << types;
    }
    return result;
}

std::optional<QByteArray> MemoryPasteboard::held(qsizetype item, const QString& type)
{
    if (item < 0 || item >= m_items.size()) return std::nullopt;
    for (const auto& [t, data] : m_items[item])
        if (t == type) return data;
    return std::nullopt;
}

std::optional<QString> MemoryPasteboard::text()
{
    for (qsizetype i = 0; i < m_items.size(); ++i)
        if (const auto d = held(i, stringType)) return QString::fromUtf8(*d);
    return std::nullopt;
}

qint64 MemoryPasteboard::clearContents()
{
    m_items.clear();
    m_ours = true;
    m_readers.clear();
    return ++m_changeCount;
}

bool MemoryPasteboard::writeObjects(const QList<PasteboardItem>& items)
{
    m_items += items;
    m_ours = true;
    m_readers.clear();
    ++m_changeCount;
    return true;
}

bool MemoryPasteboard::setString(const QString& text)
{
    m_ours = true;
    m_readers.clear();
    if (m_items.isEmpty()) m_items.append(PasteboardItem{});
    PasteboardItem& item = m_items.first();
    item.removeIf([](const auto& pair) { return pair.first == stringType; });
    item.append({stringType, text.toUtf8()});
    ++m_changeCount;
    return true;
}

std::optional<QList<std::optional<Pid>>> MemoryPasteboard::textReaders()
{
    return m_ours ? m_readers : QList<std::optional<Pid>>{};
}

void MemoryPasteboard::writeFromOtherProgram(const QList<PasteboardItem>& items)
{
    clearContents();
    writeObjects(items);
    m_ours = false;
}

void MemoryPasteboard::writeStringFromOtherProgram(const QString& text)
{
    clearContents();
    setString(text);
    m_ours = false;
}

std::optional<QString> MemoryPasteboard::stringFor(Pid reader)
{
    auto held = text();
    if (held && m_ours) m_readers.append(reader);
    return held;
}

// ---------------------------------------------------------------- accessibility

namespace {

struct MemoryElement : AccessibleElement {
    enum class Kind { systemWide, application, textField };
    Kind kind;
    std::weak_ptr<MemoryApplication> app;

    MemoryElement(Kind k, std::weak_ptr<MemoryApplication> a)
        : kind(k)
        , app(std::move(a))
    {
    }
};

template <typename T>
AXResult<AXValue> answer(T value)
{
    return {AXError::success, AXValue(std::move(value))};
}

AXResult<AXValue> failed(AXError error) { return {error, AXValue()}; }

} // namespace

MemoryAccessibility::MemoryAccessibility(std::shared_ptr<MemoryWorkspace> workspace)
    : m_workspace(std::move(workspace))
{
}

bool MemoryAccessibility::isProcessTrusted(bool prompt)
{
    if (prompt) ++promptCount;
    return trusted;
}

AXElementRef MemoryAccessibility::systemWide()
{
    return std::make_shared<MemoryElement>(MemoryElement::Kind::systemWide, std::weak_ptr<MemoryApplication>());
}

AXElementRef MemoryAccessibility::application(Pid pid)
{
    const auto app = m_workspace->application(pid);
    if (!app) return nullptr;
    return std::make_shared<MemoryElement>(MemoryElement::Kind::application, app);
}

AXResult<Pid> MemoryAccessibility::processIdentifier(const AXElementRef& element)
{
    const auto* memory = dynamic_cast<const MemoryElement*>(element.get());
    if (!memory || memory->kind == MemoryElement::Kind::systemWide) return {AXError::illegalArgument, 0};
    const auto app = memory->app.lock();
    if (!app) return {AXError::invalidUIElement, 0};
    return {AXError::success, app->pid()};
}

Accessibility::FocusReports MemoryAccessibility::focusReportsSince(const AXElementRef& element, quint64 mark)
{
    const auto app = owner(element);
    if (!app) return {};
    return {app->lastLoss > mark, app->reportedFocus};
}

QCoro::Task<std::optional<bool>> MemoryAccessibility::nextFocusReport(AXElementRef element, qint64 timeoutMs)
{
    const std::weak_ptr<MemoryApplication> weak = owner(element);
    const std::shared_ptr<Clock> clock = Platform::shared().clock;
    const quint64 seen = weak.lock() ? weak.lock()->lastReport : 0;
    for (const qint64 end = clock->monotonicMs() + timeoutMs; clock->monotonicMs() < end;) {
        co_await clock->sleep(1);
        const auto app = weak.lock();
        if (!app) break;
        if (app->lastReport != seen) co_return app->reportedFocus;
    }
    co_return std::nullopt;
}

std::shared_ptr<MemoryApplication> MemoryAccessibility::owner(const AXElementRef& element)
{
    const auto* memory = dynamic_cast<const MemoryElement*>(element.get());
    return memory ? memory->app.lock() : nullptr;
}

AXResult<AXValue> MemoryAccessibility::copyAttributeValue(const AXElementRef& element, const QString& attribute)
{
    const auto* memory = dynamic_cast<const MemoryElement*>(element.get());
    if (!memory) return failed(AXError::illegalArgument);
    if (!trusted) return failed(AXError::apiDisabled);

    if (memory->kind == MemoryElement::Kind::systemWide) {
        if (attribute != focusedUIElementAttribute) return failed(AXError::attributeUnsupported);
        if (const auto background = backgroundFocus.lock(); background && background->hasAccessibleFocus)
            return answer(AXElementRef(std::make_shared<MemoryElement>(MemoryElement::Kind::textField, background)));
        const auto app = m_workspace->frontmost();
        if (!app || !app->hasAccessibleFocus || !app->answersSystemWideFocus) return failed(AXError::noValue);
        return answer(AXElementRef(std::make_shared<MemoryElement>(MemoryElement::Kind::textField, app)));
    }

    const auto app = memory->app.lock();
    if (!app) return failed(AXError::invalidUIElement);
    if (memory->kind == MemoryElement::Kind::application) {
        if (attribute != focusedUIElementAttribute) return failed(AXError::attributeUnsupported);
        if (!app->hasAccessibleFocus) return failed(AXError::noValue);
        return answer(AXElementRef(std::make_shared<MemoryElement>(MemoryElement::Kind::textField, app)));
    }

    if (app->readOverrides.contains(attribute)) return app->readOverrides.value(attribute);
    if (attribute == selectedTextAttribute) return answer(app->selectedText());
    if (attribute == selectedTextRangeAttribute) return answer(app->selection);
    if (attribute == valueAttribute) return answer(app->text);
    return failed(AXError::attributeUnsupported);
}

AXResult<AXValue> MemoryAccessibility::copyParameterizedAttributeValue(const AXElementRef& element,
                                                                     const QString& attribute,
                                                                     const AXValue& parameter)
{
    const auto* memory = dynamic_cast<const MemoryElement*>(element.get());
    if (!memory || memory->kind != MemoryElement::Kind::textField) return failed(AXError::illegalArgument);
    if (!trusted) return failed(AXError::apiDisabled);
    const auto app = memory->app.lock();
    if (!app) return failed(AXError::invalidUIElement);
    if (app->readOverrides.contains(attribute)) return app->readOverrides.value(attribute);
    if (attribute != boundsForRangeParameterizedAttribute) return failed(AXError::attributeUnsupported);
    const auto* range = std::get_if<TextRange>(&parameter);
    if (!range || range->location < 0 || range->length < 0 || range->end() > app->text.size())
        return failed(AXError::illegalArgument);
    const auto bounds = app->boundsForRange ? app->boundsForRange(*range) : std::nullopt;
    if (!bounds) return failed(AXError::noValue);
    return answer(*bounds);
}

AXError MemoryAccessibility::setAttributeValue(const AXElementRef& element, const QString& attribute,
                                             const AXValue& value)
{
    const auto* memory = dynamic_cast<const MemoryElement*>(element.get());
    if (!memory || memory->kind != MemoryElement::Kind::textField) return AXError::illegalArgument;
    if (!trusted) return AXError::apiDisabled;
    const auto app = memory->app.lock();
    if (!app) return AXError::invalidUIElement;
    ++app->attributeWrites;

    if (attribute == selectedTextRangeAttribute) {
        const auto* range = std::get_if<TextRange>(&value);
        if (!range || range->location < 0 || range->length < 0 || range->end() > app->text.size())
            return AXError::illegalArgument;
        if (!app->ignoredWrites.contains(attribute)) app->selection = *range;
        return AXError::success;
    }
    if (attribute == selectedTextAttribute) {
        const auto* text = std::get_if<QString>(&value);
        if (!text) return AXError::illegalArgument;
        if (!app->ignoredWrites.contains(attribute)) app->replaceSelection(*text);
        return AXError::success;
    }
    return AXError::attributeUnsupported;
}

// ---------------------------------------------------------------- key poster

MemoryKeyPoster::MemoryKeyPoster(std::shared_ptr<Clock> clock, std::shared_ptr<MemoryWorkspace> workspace,
                                 std::shared_ptr<MemoryPasteboard> pasteboard,
                                 std::shared_ptr<MemoryPasteboard> primary)
    : m_clock(std::move(clock))
    , m_workspace(std::move(workspace))
    , m_pasteboard(std::move(pasteboard))
    , m_primary(std::move(primary))
{
}

void MemoryKeyPoster::holdModifiers(quint64 flags, std::optional<qint64> ms)
{
    m_held = flags;
    m_heldUntil = ms ? std::optional<qint64>(m_clock->monotonicMs() + *ms) : std::nullopt;
}

quint64 MemoryKeyPoster::combinedModifierFlags()
{
    if (m_heldUntil && m_clock->monotonicMs() >= *m_heldUntil) {
        m_held = 0;
        m_heldUntil.reset();
    }
    return m_held;
}

bool MemoryKeyPoster::postKeyEvent(quint16 keyCode, quint64 flags, bool keyDown)
{
    m_posted.append({keyCode, flags, keyDown, std::nullopt, m_clock->monotonicMs()});
    if (!keyDown) return true;

    // The application in front when the keystroke arrives acts on it, after its own delay.
    const auto app = m_workspace->frontmost();
    if (!app) return true;
    const EditChords chords = m_workspace->editChords(app->running());
    const KeyChord chord{keyCode, flags & ModifierFlag::deviceIndependentMask};
    if (chords.terminal && chord == KeyChord{KeyCode::c, ModifierFlag::control}) ++app->interrupts;
    const std::weak_ptr<MemoryApplication> weakApp = app;
    if (chord == chords.copy && app->copiesOnCopyChord) {
        const std::weak_ptr<MemoryPasteboard> weakPasteboard = m_pasteboard;
        m_reactions.push_back(m_clock->after(MemoryApplication::copyDelayMs, [weakApp, weakPasteboard] {
            const auto a = weakApp.lock();
            const auto p = weakPasteboard.lock();
            if (a && p) a->copySelection(*p);
        }));
    } else if (chord == chords.paste && app->pastesOnPasteChord) {
        const std::weak_ptr<MemoryPasteboard> weakPasteboard = chords.pastesPrimary ? m_primary : m_pasteboard;
        m_reactions.push_back(m_clock->after(app->pasteDelayMs, [weakApp, weakPasteboard] {
            const auto a = weakApp.lock();
            const auto p = weakPasteboard.lock();
            if (a && p) a->pasteFrom(*p);
        }));
    }
    return true;
}

bool MemoryKeyPoster::postKeyDown(Pid pid, quint16 keyCode, quint64 flags, quint32)
{
    m_posted.append({keyCode, flags, true, pid, m_clock->monotonicMs()});
    if (const auto app = m_workspace->application(pid)) app->keysReceived.append({keyCode, flags});
    return true;
}
