#include "platform/atspi/AtspiCalls.h"

#include "platform/atspi/AtspiElement.h"
#include "platform/atspi/AtspiExtents.h"
#include "platform/atspi/AtspiFocusSearch.h"
#include "platform/atspi/AtspiFocusTracker.h"
#include "platform/atspi/GErrorSlot.h"
#include "platform/atspi/GMemory.h"
#include "platform/atspi/AtspiThread.h"
#include "platform/atspi/TextOffsets.h"

#include "base/Log.h"

#include <algorithm>

// Exported by libatspi, declared only in its private headers.
extern "C" void atspi_dbus_connection_setup_with_g_main(DBusConnection* connection, GMainContext* context);

namespace {

using Accessible = GObjectRef<AtspiAccessible>;
using AtspiFocusSearch::focusedByCollection;
using AtspiFocusSearch::focusedByWalk;
using AtspiFocusSearch::hasState;
using AtspiFocusSearch::hasText;

// The time such a walk may take: GTK 4 answers no Collection query, and a native Wayland editor's
// text lies a hundred objects deep (under 200 ms, up to a second on a busy machine). A hung
// application still ends it, each call being bounded.
constexpr std::chrono::milliseconds walkAllowance(1500);

template <typename T>
AXResult<AXValue> ok(T value)
{
    return {AXError::success, AXValue(std::move(value))};
}

AXResult<AXValue> fail(AXError error)
{
    return {error, {}};
}

QString takeString(gchar* raw)
{
    GOwned<gchar> owned(raw);
    return raw ? QString::fromUtf8(raw) : QString();
}

// The whole text of a text object; absent when the call fails.
std::optional<QString> wholeText(AtspiText* text)
{
    GErrorSlot error;
    gchar* raw = atspi_text_get_text(text, 0, -1, error.out());
    QString s = takeString(raw);
    if (error.failed() || !raw) return std::nullopt;
    return s;
}

struct Selection {
    qint64 start = 0; // offsets as the application counts them
    qint64 end = 0;
};

// The first selection, or the caret as an empty one; absent when the application does not answer.
std::optional<Selection> firstSelection(AtspiText* text)
{
    GErrorSlot error;
    const gint count = atspi_text_get_n_selections(text, error.out());
    if (error.failed()) return std::nullopt;
    if (count > 0) {
        GOwned<AtspiRange> range(atspi_text_get_selection(text, 0, error.out()));
        if (error.failed() || !range) return std::nullopt;
        const auto [lo, hi] = std::minmax(range->start_offset, range->end_offset);
        if (lo < 0) return std::nullopt;
        if (hi > lo) return Selection{lo, hi};
    }
    const gint caret = atspi_text_get_caret_offset(text, error.out());
    if (error.failed() || caret < 0) return std::nullopt;
    return Selection{caret, caret};
}

// A password field: GTK, Qt, Firefox and Chromium all give it this role.
bool isPassword(AtspiAccessible* accessible)
{
    GErrorSlot error;
    return atspi_accessible_get_role(accessible, error.out()) == ATSPI_ROLE_PASSWORD_TEXT;
}

// Runs before each iteration of libatspi's loop, so that a connection opened while it dispatched
// (an application's first contact answers asynchronously) is taken over before its first reply.
struct AdoptingSource {
    GSource base;
    AtspiCalls* calls;
};

gboolean adoptBeforePolling(GSource* source, gint* timeout)
{
    *timeout = -1;
    reinterpret_cast<AdoptingSource*>(source)->calls->adoptApplicationConnections();
    return FALSE;
}

gboolean neverReady(GSource*) { return FALSE; }

gboolean nothingToDispatch(GSource*, GSourceFunc, gpointer) { return G_SOURCE_CONTINUE; }

GSourceFuncs adoptingFuncs = {adoptBeforePolling, neverReady, nothingToDispatch, nullptr, nullptr, nullptr};

} // namespace

AtspiCalls::AtspiCalls(std::chrono::milliseconds callTimeout, std::shared_ptr<AtspiThread> thread,
                       AtspiFocusReports* focusReports)
    : m_timeout(callTimeout), m_thread(std::move(thread))
{
    // Without a bus libatspi must not be called again: it ends the program on its next call.
    if (atspi_init() > 1) {
        Log::write(QStringLiteral("AT-SPI에 연결하지 못함: 접근성 버스가 없음"));
        return;
    }
    m_bus = atspi_get_a11y_bus();
    // Its connection is dispatched from this thread's loop from now on; left as found when the
    // thread ends, to be dispatched by the program's main loop again.
    atspi_set_main_context(m_thread->context());
    m_thread->atEnd([] { atspi_set_main_context(g_main_context_default()); });
    // No grace period for applications that are starting: a hung one is hung.
    atspi_set_timeout(int(m_timeout.count()), -1);
    if (qEnvironmentVariable("XDG_SESSION_TYPE") == u"wayland")
        Log::write(QStringLiteral("Wayland 세션: AT-SPI는 Wayland 앱에도 쓰임"));
    Log::write(QStringLiteral("AT-SPI 접근성 버스에 연결함"));
    m_focus = std::make_unique<AtspiFocusTracker>(focusReports);
    m_systemWide = element(Accessible::adopt(atspi_get_desktop(0)), ToolkitUnits{}, true);
    m_adopting = g_source_new(&adoptingFuncs, sizeof(AdoptingSource));
    reinterpret_cast<AdoptingSource*>(m_adopting)->calls = this;
    g_source_attach(m_adopting, m_thread->context());
}

AtspiCalls::~AtspiCalls()
{
    if (m_adopting) {
        g_source_destroy(m_adopting);
        g_source_unref(m_adopting);
    }
    m_systemWide.reset();
    m_focus.reset();
}

AXElementRef AtspiCalls::element(Accessible accessible, ToolkitUnits units, bool systemWide) const
{
    QByteArray bus = systemWide ? QByteArray() : AtspiFocusTracker::busNameOf(accessible.get());
    return std::make_shared<AtspiElement>(std::move(accessible), units, m_thread, std::move(bus), systemWide);
}

void AtspiCalls::adoptApplicationConnections()
{
    if (!m_bus) return;
    Accessible desktop = Accessible::adopt(atspi_get_desktop(0));
    if (!desktop || !desktop.get()->children) return;
    for (guint i = 0; i < desktop.get()->children->len; ++i) {
        auto* app = static_cast<AtspiAccessible*>(g_ptr_array_index(desktop.get()->children, i));
        // Set up again only where the context differs.
        if (app && app->parent.app && app->parent.app->bus && app->parent.app->bus != m_bus)
            atspi_dbus_connection_setup_with_g_main(app->parent.app->bus, m_thread->context());
    }
}

void AtspiCalls::followSelections()
{
    if (m_focus) m_focus->followSelections();
}

std::optional<AtspiFront::Application> AtspiCalls::frontApplication()
{
    if (!m_focus) return std::nullopt;
    return AtspiFront::find(focusedByEvents().get(), m_focus->activeWindow().get());
}

AXElementRef AtspiCalls::application(Pid pid)
{
    Accessible desktop = Accessible::adopt(atspi_get_desktop(0));
    if (!desktop || pid <= 0) return nullptr;
    GErrorSlot error;
    const gint count = atspi_accessible_get_child_count(desktop.get(), error.out());
    for (gint i = 0; i < count && !error.failed(); ++i) {
        Accessible app = Accessible::adopt(atspi_accessible_get_child_at_index(desktop.get(), i, error.out()));
        if (!app) continue;
        GErrorSlot pidError;
        if (Pid(atspi_accessible_get_process_id(app.get(), pidError.out())) != pid || pidError.failed()) continue;
        GErrorSlot nameError;
        const QString toolkit = takeString(atspi_accessible_get_toolkit_name(app.get(), nameError.out()));
        return element(std::move(app), ToolkitUnits::forToolkit(toolkit));
    }
    return nullptr;
}

AXResult<Pid> AtspiCalls::processIdentifier(const AtspiElement& element)
{
    // Asked of the bus daemon (the connection's owner), not of the application: it cannot hang.
    const Pid pid = AtspiFront::processOf(element.accessible());
    if (pid <= 0) {
        Log::write(QStringLiteral("AT-SPI 요소의 프로세스를 알 수 없음"));
        return {AXError::cannotComplete, 0};
    }
    return {AXError::success, pid};
}

AXResult<AXValue> AtspiCalls::copy(const AtspiElement& element, const QString& attribute)
{
    if (attribute == Accessibility::focusedUIElementAttribute) return focusedElement(element);
    if (element.isSystemWide()) return fail(AXError::attributeUnsupported);
    const bool password = isPassword(element.accessible());
    if (attribute == Accessibility::subroleAttribute)
        return password ? ok(Accessibility::secureTextFieldSubrole) : fail(AXError::noValue);
    // Not even the mask of a password leaves its field.
    if (password) return fail(AXError::attributeUnsupported);
    if (attribute == Accessibility::selectedTextAttribute) return selectedText(element);
    if (attribute == Accessibility::selectedTextRangeAttribute) return selectedRange(element);
    if (attribute == Accessibility::valueAttribute) return value(element);
    return fail(AXError::attributeUnsupported);
}

AXError AtspiCalls::set(const AtspiElement& element, const QString& attribute, const AXValue& value)
{
    if (isPassword(element.accessible())) {
        Log::write(QStringLiteral("AT-SPI: 암호 칸이라 쓰지 않음"));
        return AXError::attributeUnsupported;
    }
    if (attribute == Accessibility::selectedTextAttribute) {
        const QString* text = std::get_if<QString>(&value);
        return text ? replaceSelection(element, *text) : AXError::illegalArgument;
    }
    if (attribute == Accessibility::selectedTextRangeAttribute) {
        const TextRange* range = std::get_if<TextRange>(&value);
        return range && range->location >= 0 && range->length >= 0 ? select(element, *range)
                                                                   : AXError::illegalArgument;
    }
    return AXError::attributeUnsupported;
}

AXResult<AXValue> AtspiCalls::focusedElement(const AtspiElement& element)
{
    auto wrap = [this](Accessible focused) -> AXResult<AXValue> {
        Accessible app = AtspiFront::applicationOf(focused.get());
        GErrorSlot nameError;
        const QString toolkit = app ? takeString(atspi_accessible_get_toolkit_name(app.get(), nameError.out())) : QString();
        return ok(this->element(std::move(focused), ToolkitUnits::forToolkit(toolkit)));
    };
    if (element.isSystemWide()) {
        Accessible focused = focusedByEvents();
        // A keyboard grab (the shortcut held down) takes the focus from the text without giving it
        // to anything else: while nothing else gained it, the text focused last stands in. The
        // caller reads it only where it belongs to the application in front.
        if (!focused) focused = m_focus->lastFocused();
        if (!focused || !hasText(focused.get())) return fail(AXError::noValue);
        return wrap(std::move(focused));
    }
    if (std::optional<Accessible> byQuery = focusedByCollection(element.accessible())) {
        if (!*byQuery) return fail(AXError::noValue);
        return ok(this->element(std::move(*byQuery), element.units()));
    }
    // No Collection: the last focus event, if it came from this application, else a short walk.
    if (Accessible focused = focusedByEvents()) {
        Accessible app = AtspiFront::applicationOf(focused.get());
        if (app.get() == element.accessible() && hasText(focused.get()))
            return ok(this->element(std::move(focused), element.units()));
    }
    Accessible walked = focusedByWalk(element.accessible(), std::max(m_timeout, walkAllowance));
    if (!walked) return fail(AXError::noValue);
    return ok(this->element(std::move(walked), element.units()));
}

GObjectRef<AtspiAccessible> AtspiCalls::focusedByEvents() const
{
    if (Accessible focused = m_focus->focused()) return focused;
    // Where no focus event came since: the text selected last, else the last focused one, while
    // it holds the focus.
    for (Accessible candidate : {m_focus->lastSelected(), m_focus->lastFocused()})
        if (candidate && hasState(candidate.get(), ATSPI_STATE_FOCUSED)) return candidate;
    return {};
}

AXResult<AXValue> AtspiCalls::selectedText(const AtspiElement& element)
{
    auto text = GObjectRef<AtspiText>::adopt(atspi_accessible_get_text_iface(element.accessible()));
    if (!text) return fail(AXError::attributeUnsupported);
    const std::optional<Selection> selection = firstSelection(text.get());
    if (!selection) return fail(AXError::cannotComplete);
    if (selection->end == selection->start) return ok(QString());
    GErrorSlot error;
    gchar* raw = atspi_text_get_text(text.get(), gint(selection->start), gint(selection->end), error.out());
    QString selected = takeString(raw);
    if (error.failed() || !raw) return fail(AXError::cannotComplete);
    return ok(selected);
}

AXResult<AXValue> AtspiCalls::selectedRange(const AtspiElement& element)
{
    auto text = GObjectRef<AtspiText>::adopt(atspi_accessible_get_text_iface(element.accessible()));
    if (!text) return fail(AXError::attributeUnsupported);
    const std::optional<Selection> selection = firstSelection(text.get());
    if (!selection) return fail(AXError::cannotComplete);
    const std::optional<QString> whole = wholeText(text.get());
    if (!whole) return fail(AXError::cannotComplete);
    const auto unit = element.units().offsets;
    const std::optional<qint64> start = TextOffsets::toUtf16(*whole, selection->start, unit);
    const std::optional<qint64> end = TextOffsets::toUtf16(*whole, selection->end, unit);
    if (!start || !end) {
        Log::write(QStringLiteral("AT-SPI 선택 범위가 글과 맞지 않음: %1–%2").arg(selection->start).arg(selection->end));
        return fail(AXError::cannotComplete);
    }
    return ok(TextRange{*start, *end - *start});
}

AXResult<AXValue> AtspiCalls::value(const AtspiElement& element)
{
    auto text = GObjectRef<AtspiText>::adopt(atspi_accessible_get_text_iface(element.accessible()));
    if (!text) return fail(AXError::attributeUnsupported);
    std::optional<QString> whole = wholeText(text.get());
    if (!whole) return fail(AXError::cannotComplete);
    return ok(std::move(*whole));
}

AXResult<AtspiCalls::Bounds> AtspiCalls::bounds(const AtspiElement& element, const TextRange& range)
{
    if (isPassword(element.accessible())) return {AXError::attributeUnsupported, {}};
    auto text = GObjectRef<AtspiText>::adopt(atspi_accessible_get_text_iface(element.accessible()));
    if (!text) return {AXError::attributeUnsupported, {}};
    const std::optional<QString> whole = wholeText(text.get());
    if (!whole) return {AXError::cannotComplete, {}};
    const auto unit = element.units().offsets;
    const std::optional<qint64> start = TextOffsets::fromUtf16(*whole, range.location, unit);
    const std::optional<qint64> end = TextOffsets::fromUtf16(*whole, range.end(), unit);
    if (!start || !end) return {AXError::illegalArgument, {}};
    if (*end == *start) return {AXError::noValue, {}}; // no characters, no rectangle
    std::optional<QRectF> extents = element.units().rangeFromCharacters
        ? AtspiExtents::characterSpan(text.get(), *whole, gint(*start), gint(*end - 1))
        : *end - *start > AtspiExtents::kLongRange ? AtspiExtents::longRange(text.get(), gint(*start), gint(*end))
                                                    : AtspiExtents::range(text.get(), gint(*start), gint(*end));
    if (!extents) return {AXError::cannotComplete, {}};
    if (extents->width() <= 0 && extents->height() <= 0) return {AXError::noValue, {}};
    Bounds found{*extents, AtspiExtents::window(element.accessible()), 0};
    GErrorSlot error;
    const auto pid = Pid(atspi_accessible_get_process_id(element.accessible(), error.out()));
    if (!error.failed()) found.pid = pid;
    return {AXError::success, found};
}

AXError AtspiCalls::replaceSelection(const AtspiElement& element, const QString& replacement)
{
    auto text = GObjectRef<AtspiText>::adopt(atspi_accessible_get_text_iface(element.accessible()));
    auto editable = GObjectRef<AtspiEditableText>::adopt(atspi_accessible_get_editable_text_iface(element.accessible()));
    if (!text || !editable) return AXError::attributeUnsupported;
    // Qt lets the interface edit a read-only text; its state says what the user may do.
    if (!hasState(element.accessible(), ATSPI_STATE_EDITABLE) || hasState(element.accessible(), ATSPI_STATE_READ_ONLY)) {
        Log::write(QStringLiteral("AT-SPI: 읽기 전용 글이라 쓰지 않음"));
        return AXError::attributeUnsupported;
    }
    const std::optional<Selection> selection = firstSelection(text.get());
    if (!selection) return AXError::cannotComplete;
    GErrorSlot error;
    QString removed;
    if (selection->end > selection->start) {
        // Kept, to be put back should the insertion fail: a failed replacement loses nothing.
        gchar* raw = atspi_text_get_text(text.get(), gint(selection->start), gint(selection->end), error.out());
        removed = takeString(raw);
        if (error.failed() || !raw) return AXError::cannotComplete;
        if (!atspi_editable_text_delete_text(editable.get(), gint(selection->start), gint(selection->end), error.out())
            || error.failed()) {
            return AXError::cannotComplete;
        }
    }
    if (replacement.isEmpty()) return AXError::success;
    auto insert = [&](const QString& s) {
        GErrorSlot insertError;
        const QByteArray utf8 = s.toUtf8();
        const qint64 length = TextOffsets::length(s, element.units().insertLength);
        const bool done = atspi_editable_text_insert_text(editable.get(), gint(selection->start), utf8.constData(),
                                                          gint(length), insertError.out());
        return done && !insertError.failed();
    };
    if (insert(replacement)) return AXError::success;
    // A call that timed out may still be carried out by a slow application: put the deleted text
    // back only when the text at the selection shows the insertion did not happen, or a late
    // insertion would stand beside the restored text.
    const qint64 span = TextOffsets::fromUtf16(replacement, replacement.size(), element.units().offsets).value_or(0);
    GErrorSlot readError;
    gchar* raw = atspi_text_get_text(text.get(), gint(selection->start), gint(selection->start + span), readError.out());
    const QString there = takeString(raw);
    if (readError.failed() || !raw) {
        Log::write(QStringLiteral("AT-SPI 글 넣기: 응답이 없어 지운 글을 되돌리지 않음"));
        return AXError::cannotComplete;
    }
    if (there == replacement) return AXError::success;
    const bool restored = removed.isEmpty() || insert(removed);
    Log::write(restored ? QStringLiteral("AT-SPI 글 넣기 실패: 지운 글을 되돌림")
                        : QStringLiteral("AT-SPI 글 넣기 실패: 지운 글을 되돌리지도 못함"));
    return AXError::cannotComplete;
}

AXError AtspiCalls::select(const AtspiElement& element, const TextRange& range)
{
    auto text = GObjectRef<AtspiText>::adopt(atspi_accessible_get_text_iface(element.accessible()));
    if (!text) return AXError::attributeUnsupported;
    const std::optional<QString> whole = wholeText(text.get());
    if (!whole) return AXError::cannotComplete;
    const auto unit = element.units().offsets;
    const std::optional<qint64> start = TextOffsets::fromUtf16(*whole, range.location, unit);
    const std::optional<qint64> end = TextOffsets::fromUtf16(*whole, range.end(), unit);
    if (!start || !end) return AXError::illegalArgument;
    GErrorSlot error;
    if (range.length == 0) {
        const gint count = atspi_text_get_n_selections(text.get(), error.out());
        if (error.failed()) return AXError::cannotComplete;
        if (count > 0) atspi_text_remove_selection(text.get(), 0, error.out());
        if (!atspi_text_set_caret_offset(text.get(), gint(*start), error.out()) || error.failed())
            return AXError::cannotComplete;
        return AXError::success;
    }
    const gint count = atspi_text_get_n_selections(text.get(), error.out());
    if (error.failed()) return AXError::cannotComplete;
    const gboolean done = count > 0 ? atspi_text_set_selection(text.get(), 0, gint(*start), gint(*end), error.out())
                                    : atspi_text_add_selection(text.get(), gint(*start), gint(*end), error.out());
    return done && !error.failed() ? AXError::success : AXError::cannotComplete;
}
