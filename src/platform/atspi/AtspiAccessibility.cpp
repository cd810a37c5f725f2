#include "platform/atspi/AtspiAccessibility.h"

#include "platform/atspi/AtspiBusLink.h"
#include "platform/atspi/AtspiElement.h"
#include "platform/atspi/AtspiExtents.h"
#include "platform/atspi/AtspiFocusSearch.h"
#include "platform/atspi/AtspiFocusTracker.h"
#include "platform/atspi/GErrorSlot.h"
#include "platform/atspi/GMemory.h"
#include "platform/atspi/TextOffsets.h"

#include "base/Log.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QElapsedTimer>

#include <deque>

namespace {

using Accessible = GObjectRef<AtspiAccessible>;
using AtspiFocusSearch::focusedByCollection;
using AtspiFocusSearch::focusedByWalk;
using AtspiFocusSearch::hasState;
using AtspiFocusSearch::hasText;

const QString busService = QStringLiteral("org.a11y.Bus");
const QString busPath = QStringLiteral("/org/a11y/bus");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString statusInterface = QStringLiteral("org.a11y.Status");
const QString enabledProperty = QStringLiteral("IsEnabled");

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

bool onSomeScreen(const QRectF& rect, const QList<Screen>& screens)
{
    if (screens.isEmpty()) return true; // nothing known to compare with
    for (const Screen& s : screens)
        if (s.frame.intersects(rect)) return true;
    return false;
}

QDBusMessage busCall(const QString& method, const QVariantList& arguments, std::chrono::milliseconds timeout)
{
    QDBusMessage call = QDBusMessage::createMethodCall(busService, busPath, propertiesInterface, method);
    call.setArguments(arguments);
    return QDBusConnection::sessionBus().call(call, QDBus::Block, int(timeout.count()));
}

} // namespace

AtspiAccessibility::AtspiAccessibility(std::shared_ptr<Screens> screens, std::shared_ptr<Workspace> workspace,
                                       std::chrono::milliseconds callTimeout)
    : m_screens(std::move(screens)), m_workspace(std::move(workspace)), m_timeout(callTimeout)
{
    // Without a bus libatspi must not be called again: it ends the program on its next call.
    const bool joined = atspi_init() <= 1;
    m_link = std::make_unique<AtspiBusLink>(joined ? atspi_get_a11y_bus() : nullptr);
    if (!joined) {
        Log::write(QStringLiteral("AT-SPI에 연결하지 못함: 접근성 버스가 없음"));
        return;
    }
    // No grace period for applications that are starting: a hung one is hung.
    atspi_set_timeout(int(m_timeout.count()), -1);
    if (qEnvironmentVariable("XDG_SESSION_TYPE") == u"wayland")
        Log::write(QStringLiteral("Wayland 세션: AT-SPI는 Wayland 앱에도 쓰임"));
    Log::write(QStringLiteral("AT-SPI 접근성 버스에 연결함"));
    m_focus = std::make_unique<AtspiFocusTracker>();
}

AtspiAccessibility::~AtspiAccessibility() = default;

bool AtspiAccessibility::connected() const { return m_link->connected(); }

bool AtspiAccessibility::isProcessTrusted(bool prompt)
{
    // Asked of the session bus without starting a launcher on demand: the bus is away (the session
    // restarts it, or it crashed), and the user's switch stands as last read.
    if (m_trusted && !prompt) {
        const QDBusReply<bool> named = QDBusConnection::sessionBus().interface()->isServiceRegistered(busService);
        if (!named.isValid() || !named.value()) return *m_trusted;
    }
    QDBusMessage address = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(busService, busPath, busService, QStringLiteral("GetAddress")), QDBus::Block,
        int(m_timeout.count()));
    if (address.type() != QDBusMessage::ReplyMessage || address.arguments().value(0).toString().isEmpty())
        return m_trusted.value_or(false);
    if (prompt) {
        QDBusMessage set = busCall(QStringLiteral("Set"),
                                   {statusInterface, enabledProperty, QVariant::fromValue(QDBusVariant(true))}, m_timeout);
        if (set.type() != QDBusMessage::ReplyMessage)
            Log::write(QStringLiteral("접근성 켜기 실패: %1").arg(set.errorMessage()));
    }
    QDBusMessage get = busCall(QStringLiteral("Get"), {statusInterface, enabledProperty}, m_timeout);
    if (get.type() != QDBusMessage::ReplyMessage) return m_trusted.value_or(false);
    const QVariant enabled = get.arguments().value(0).value<QDBusVariant>().variant();
    m_trusted = enabled.typeId() == QMetaType::Bool && enabled.toBool();
    return *m_trusted;
}

AXElementRef AtspiAccessibility::systemWide()
{
    if (!connected()) return nullptr;
    return std::make_shared<AtspiElement>(Accessible::adopt(atspi_get_desktop(0)), ToolkitUnits{}, true);
}

void AtspiAccessibility::followSelections()
{
    if (m_focus) m_focus->followSelections();
}

std::optional<AtspiFront::Application> AtspiAccessibility::frontApplication()
{
    if (!connected() || !m_focus) return std::nullopt;
    return AtspiFront::find(focusedByEvents().get(), m_focus->activeWindow().get());
}

AXElementRef AtspiAccessibility::application(Pid pid)
{
    if (!connected()) return nullptr;
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
        return std::make_shared<AtspiElement>(std::move(app), ToolkitUnits::forToolkit(toolkit));
    }
    return nullptr;
}

AXResult<Pid> AtspiAccessibility::processIdentifier(const AXElementRef& ref)
{
    auto* element = dynamic_cast<AtspiElement*>(ref.get());
    if (!element || !element->accessible() || element->isSystemWide()) return {AXError::illegalArgument, 0};
    if (!connected()) return {AXError::cannotComplete, 0};
    // Asked of the bus daemon (the connection's owner), not of the application: it cannot hang.
    const Pid pid = AtspiFront::processOf(element->accessible());
    if (pid <= 0) {
        Log::write(QStringLiteral("AT-SPI 요소의 프로세스를 알 수 없음"));
        return {AXError::cannotComplete, 0};
    }
    return {AXError::success, pid};
}

AXResult<AXValue> AtspiAccessibility::copyAttributeValue(const AXElementRef& ref, const QString& attribute)
{
    auto* element = dynamic_cast<AtspiElement*>(ref.get());
    if (!element || !element->accessible()) return fail(AXError::illegalArgument);
    if (!connected()) return fail(AXError::cannotComplete);
    if (attribute == focusedUIElementAttribute) return focusedElement(*element);
    if (element->isSystemWide()) return fail(AXError::attributeUnsupported);
    const bool password = isPassword(element->accessible());
    if (attribute == subroleAttribute) return password ? ok(secureTextFieldSubrole) : fail(AXError::noValue);
    // Not even the mask of a password leaves its field.
    if (password) return fail(AXError::attributeUnsupported);
    if (attribute == selectedTextAttribute) return selectedText(*element);
    if (attribute == selectedTextRangeAttribute) return selectedRange(*element);
    if (attribute == valueAttribute) return value(*element);
    return fail(AXError::attributeUnsupported);
}

AXResult<AXValue> AtspiAccessibility::copyParameterizedAttributeValue(const AXElementRef& ref, const QString& attribute,
                                                                      const AXValue& parameter)
{
    auto* element = dynamic_cast<AtspiElement*>(ref.get());
    if (!element || !element->accessible() || element->isSystemWide()) return fail(AXError::illegalArgument);
    if (!connected()) return fail(AXError::cannotComplete);
    if (attribute != boundsForRangeParameterizedAttribute || isPassword(element->accessible()))
        return fail(AXError::attributeUnsupported);
    const TextRange* range = std::get_if<TextRange>(&parameter);
    if (!range || range->location < 0 || range->length < 0) return fail(AXError::illegalArgument);
    return boundsForRange(*element, *range);
}

AXError AtspiAccessibility::setAttributeValue(const AXElementRef& ref, const QString& attribute, const AXValue& value)
{
    auto* element = dynamic_cast<AtspiElement*>(ref.get());
    if (!element || !element->accessible() || element->isSystemWide()) return AXError::illegalArgument;
    if (!connected()) return AXError::cannotComplete;
    if (isPassword(element->accessible())) {
        Log::write(QStringLiteral("AT-SPI: 암호 칸이라 쓰지 않음"));
        return AXError::attributeUnsupported;
    }
    if (attribute == selectedTextAttribute) {
        const QString* text = std::get_if<QString>(&value);
        return text ? replaceSelection(*element, *text) : AXError::illegalArgument;
    }
    if (attribute == selectedTextRangeAttribute) {
        const TextRange* range = std::get_if<TextRange>(&value);
        return range && range->location >= 0 && range->length >= 0 ? select(*element, *range)
                                                                   : AXError::illegalArgument;
    }
    return AXError::attributeUnsupported;
}

AXResult<AXValue> AtspiAccessibility::focusedElement(const AtspiElement& element)
{
    auto wrap = [](Accessible focused) -> AXResult<AXValue> {
        Accessible app = AtspiFront::applicationOf(focused.get());
        GErrorSlot nameError;
        const QString toolkit = app ? takeString(atspi_accessible_get_toolkit_name(app.get(), nameError.out())) : QString();
        return ok(AXElementRef(std::make_shared<AtspiElement>(std::move(focused), ToolkitUnits::forToolkit(toolkit))));
    };
    if (element.isSystemWide()) {
        Accessible focused = focusedByEvents();
        if (!focused || !hasText(focused.get())) return fail(AXError::noValue);
        return wrap(std::move(focused));
    }
    if (std::optional<Accessible> byQuery = focusedByCollection(element.accessible())) {
        if (!*byQuery) return fail(AXError::noValue);
        return ok(AXElementRef(std::make_shared<AtspiElement>(std::move(*byQuery), element.units())));
    }
    // No Collection: the last focus event, if it came from this application, else a short walk.
    if (Accessible focused = focusedByEvents()) {
        Accessible app = AtspiFront::applicationOf(focused.get());
        if (app.get() == element.accessible() && hasText(focused.get()))
            return ok(AXElementRef(std::make_shared<AtspiElement>(std::move(focused), element.units())));
    }
    Accessible walked = focusedByWalk(element.accessible(), std::max(m_timeout, walkAllowance));
    if (!walked) return fail(AXError::noValue);
    return ok(AXElementRef(std::make_shared<AtspiElement>(std::move(walked), element.units())));
}

quint64 AtspiAccessibility::focusEventMark() { return m_focus ? m_focus->mark() : 0; }

Accessibility::FocusReports AtspiAccessibility::focusReportsSince(const AXElementRef& ref, quint64 mark)
{
    auto* element = dynamic_cast<AtspiElement*>(ref.get());
    if (!m_focus || !element || element->isSystemWide()) return {};
    return m_focus->reportsSince(AtspiFocusTracker::busNameOf(element->accessible()), mark);
}

QCoro::Task<std::optional<bool>> AtspiAccessibility::nextFocusReport(AXElementRef ref, qint64 timeoutMs)
{
    auto* element = dynamic_cast<AtspiElement*>(ref.get());
    if (!m_focus || !element || element->isSystemWide() || !connected()) co_return std::nullopt;
    co_return co_await m_focus->nextReport(AtspiFocusTracker::busNameOf(element->accessible()), timeoutMs);
}

GObjectRef<AtspiAccessible> AtspiAccessibility::focusedByEvents() const
{
    if (Accessible focused = m_focus->focused()) return focused;
    // Where no focus event came since: the text selected last, else the last focused one, while
    // it holds the focus.
    for (Accessible candidate : {m_focus->lastSelected(), m_focus->lastFocused()})
        if (candidate && hasState(candidate.get(), ATSPI_STATE_FOCUSED)) return candidate;
    return {};
}

AXResult<AXValue> AtspiAccessibility::selectedText(const AtspiElement& element)
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

AXResult<AXValue> AtspiAccessibility::selectedRange(const AtspiElement& element)
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

AXResult<AXValue> AtspiAccessibility::value(const AtspiElement& element)
{
    auto text = GObjectRef<AtspiText>::adopt(atspi_accessible_get_text_iface(element.accessible()));
    if (!text) return fail(AXError::attributeUnsupported);
    std::optional<QString> whole = wholeText(text.get());
    if (!whole) return fail(AXError::cannotComplete);
    return ok(std::move(*whole));
}

AXResult<AXValue> AtspiAccessibility::boundsForRange(const AtspiElement& element, const TextRange& range)
{
    auto text = GObjectRef<AtspiText>::adopt(atspi_accessible_get_text_iface(element.accessible()));
    if (!text) return fail(AXError::attributeUnsupported);
    const std::optional<QString> whole = wholeText(text.get());
    if (!whole) return fail(AXError::cannotComplete);
    const auto unit = element.units().offsets;
    const std::optional<qint64> start = TextOffsets::fromUtf16(*whole, range.location, unit);
    const std::optional<qint64> end = TextOffsets::fromUtf16(*whole, range.end(), unit);
    if (!start || !end) return fail(AXError::illegalArgument);
    if (*end == *start) return fail(AXError::noValue); // no characters, no rectangle
    std::optional<QRectF> extents = element.units().rangeFromCharacters
        ? AtspiExtents::characterSpan(text.get(), *whole, gint(*start), gint(*end - 1))
        : AtspiExtents::range(text.get(), gint(*start), gint(*end));
    if (!extents) return fail(AXError::cannotComplete);
    if (extents->width() <= 0 && extents->height() <= 0) return fail(AXError::noValue);
    const std::optional<QRectF> placed = onOurScreens(element, *extents);
    if (!placed) return fail(AXError::noValue);
    const QRectF rect = *placed;
    if (!onSomeScreen(rect, m_screens ? m_screens->screens() : QList<Screen>{})) {
        Log::write(QStringLiteral("AT-SPI 선택 영역이 어느 화면에도 없음"));
        return fail(AXError::noValue);
    }
    return ok(rect);
}

std::optional<QRectF> AtspiAccessibility::onOurScreens(const AtspiElement& element, const QRectF& reported)
{
    if (!m_screens || !m_workspace) return reported;
    const auto keep = [&](const QString& why) -> std::optional<QRectF> {
        if (m_requireKnownWindow) {
            Log::write(QStringLiteral("AT-SPI 좌표를 화면 위치로 옮길 수 없어 버림: %1").arg(why));
            return std::nullopt;
        }
        Log::write(QStringLiteral("AT-SPI 좌표의 배율을 알 수 없어 받은 그대로 씀: %1").arg(why));
        return reported;
    };
    const std::optional<QRectF> window = AtspiExtents::window(element.accessible());
    if (!window) return keep(QStringLiteral("앱이 창의 위치를 알려 주지 않음"));
    const std::optional<FrontWindow> front = m_workspace->frontmostWindow();
    GErrorSlot error;
    const auto pid = Pid(atspi_accessible_get_process_id(element.accessible(), error.out()));
    if (!front || error.failed() || front->pid != pid) return keep(QStringLiteral("앞에 있는 창이 그 앱의 것이 아님"));
    const WindowScale::Finding found = WindowScale::derive(*window, front->device);
    if (!found.mapping) return keep(found.why);
    return m_screens->fromDevicePixels(found.mapping->toDevice(reported));
}

AXError AtspiAccessibility::replaceSelection(const AtspiElement& element, const QString& replacement)
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

AXError AtspiAccessibility::select(const AtspiElement& element, const TextRange& range)
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
