#include "platform/atspi/AtspiAccessibility.h"

#include "platform/atspi/AtspiBusLink.h"
#include "platform/atspi/AtspiElement.h"

#include "base/Log.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>

namespace {

const QString busService = QStringLiteral("org.a11y.Bus");
const QString busPath = QStringLiteral("/org/a11y/bus");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString statusInterface = QStringLiteral("org.a11y.Status");
const QString enabledProperty = QStringLiteral("IsEnabled");

AXResult<AXValue> fail(AXError error) { return {error, {}}; }

const AtspiElement* atspiElement(const AXElementRef& ref) { return dynamic_cast<const AtspiElement*>(ref.get()); }

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
    : m_screens(std::move(screens))
    , m_workspace(std::move(workspace))
    , m_timeout(callTimeout)
    , m_thread(AtspiThread::shared())
{
    m_calls = m_thread->run<std::shared_ptr<AtspiCalls>>([thread = m_thread, timeout = m_timeout, reports = &m_focusReports] {
        return std::make_shared<AtspiCalls>(timeout, thread, reports);
    });
    m_link = std::make_unique<AtspiBusLink>(m_calls->bus());
    m_systemWide = m_calls->systemWide();
}

AtspiAccessibility::~AtspiAccessibility()
{
    m_systemWide.reset();
    m_thread->run<bool>([this] {
        m_calls.reset();
        return true;
    });
}

bool AtspiAccessibility::connected() const { return m_link->connected(); }

std::optional<AXError> AtspiAccessibility::refused(const AXElementRef& ref, bool systemWideToo) const
{
    const AtspiElement* element = atspiElement(ref);
    if (!element || !element->accessible() || (systemWideToo && element->isSystemWide()))
        return AXError::illegalArgument;
    if (!connected()) return AXError::cannotComplete;
    return std::nullopt;
}

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

AXElementRef AtspiAccessibility::systemWide() { return connected() ? m_systemWide : nullptr; }

void AtspiAccessibility::followSelections()
{
    wait<bool>([](AtspiCalls& calls) {
        calls.followSelections();
        return true;
    });
}

std::optional<AtspiFront::Application> AtspiAccessibility::frontApplication()
{
    if (!connected()) return std::nullopt;
    if (!m_frontAsked) {
        m_frontAsked = true;
        m_thread->post([calls = m_calls, home = &m_home, front = &m_front, asked = &m_frontAsked] {
            auto told = inLoop<std::optional<AtspiFront::Application>>(
                *calls, [](AtspiCalls& c) { return c.frontApplication(); });
            // Dropped with `home` when this is gone first.
            QMetaObject::invokeMethod(
                home,
                [front, asked, told = std::move(told)] {
                    *front = told;
                    *asked = false;
                },
                Qt::QueuedConnection);
        });
    }
    return m_front;
}

QCoro::Task<std::optional<AtspiFront::Application>> AtspiAccessibility::frontApplicationAsync()
{
    if (!connected()) co_return std::nullopt;
    auto call = await<std::optional<AtspiFront::Application>>([](AtspiCalls& calls) { return calls.frontApplication(); });
    std::optional<AtspiFront::Application> told = co_await call;
    m_front = told;
    co_return told;
}

AXElementRef AtspiAccessibility::application(Pid pid)
{
    if (!connected() || pid <= 0) return nullptr;
    return wait<AXElementRef>([pid](AtspiCalls& calls) { return calls.application(pid); });
}

QCoro::Task<AXElementRef> AtspiAccessibility::applicationAsync(Pid pid)
{
    if (!connected() || pid <= 0) co_return AXElementRef{};
    auto call = await<AXElementRef>([pid](AtspiCalls& calls) { return calls.application(pid); });
    AXElementRef app = co_await call;
    co_return app;
}

AXResult<Pid> AtspiAccessibility::processIdentifier(const AXElementRef& ref)
{
    if (const auto error = refused(ref, true)) return {*error, 0};
    return wait<AXResult<Pid>>([ref](AtspiCalls& calls) { return calls.processIdentifier(*atspiElement(ref)); });
}

QCoro::Task<AXResult<Pid>> AtspiAccessibility::processIdentifierAsync(AXElementRef ref)
{
    if (const auto error = refused(ref, true)) co_return AXResult<Pid>{*error, 0};
    auto call = await<AXResult<Pid>>([ref](AtspiCalls& calls) { return calls.processIdentifier(*atspiElement(ref)); });
    const AXResult<Pid> pid = co_await call;
    co_return pid;
}

AXResult<AXValue> AtspiAccessibility::copyAttributeValue(const AXElementRef& ref, const QString& attribute)
{
    if (const auto error = refused(ref, false)) return fail(*error);
    return wait<AXResult<AXValue>>(
        [ref, attribute](AtspiCalls& calls) { return calls.copy(*atspiElement(ref), attribute); });
}

QCoro::Task<AXResult<AXValue>> AtspiAccessibility::copyAttributeValueAsync(AXElementRef ref, QString attribute)
{
    if (const auto error = refused(ref, false)) co_return fail(*error);
    auto call = await<AXResult<AXValue>>(
        [ref, attribute](AtspiCalls& calls) { return calls.copy(*atspiElement(ref), attribute); });
    AXResult<AXValue> read = co_await call;
    co_return read;
}

namespace {
// The range asked of a parameterised attribute; an error where there is none to ask.
std::variant<TextRange, AXError> boundsRange(const QString& attribute, const AXValue& parameter)
{
    if (attribute != Accessibility::boundsForRangeParameterizedAttribute) return AXError::attributeUnsupported;
    const TextRange* range = std::get_if<TextRange>(&parameter);
    if (!range || range->location < 0 || range->length < 0) return AXError::illegalArgument;
    return *range;
}
} // namespace

AXResult<AXValue> AtspiAccessibility::copyParameterizedAttributeValue(const AXElementRef& ref, const QString& attribute,
                                                                      const AXValue& parameter)
{
    if (const auto error = refused(ref, true)) return fail(*error);
    const auto range = boundsRange(attribute, parameter);
    if (const AXError* error = std::get_if<AXError>(&range)) return fail(*error);
    return placed(wait<AXResult<AtspiCalls::Bounds>>(
        [ref, r = std::get<TextRange>(range)](AtspiCalls& calls) { return calls.bounds(*atspiElement(ref), r); }));
}

QCoro::Task<AXResult<AXValue>> AtspiAccessibility::copyParameterizedAttributeValueAsync(AXElementRef ref,
                                                                                        QString attribute,
                                                                                        AXValue parameter)
{
    if (const auto error = refused(ref, true)) co_return fail(*error);
    const auto range = boundsRange(attribute, parameter);
    if (const AXError* error = std::get_if<AXError>(&range)) co_return fail(*error);
    const TextRange r = std::get<TextRange>(range);
    auto call = await<AXResult<AtspiCalls::Bounds>>(
        [ref, r](AtspiCalls& calls) { return calls.bounds(*atspiElement(ref), r); });
    const AXResult<AtspiCalls::Bounds> found = co_await call;
    co_return placed(found);
}

AXError AtspiAccessibility::setAttributeValue(const AXElementRef& ref, const QString& attribute, const AXValue& value)
{
    if (const auto error = refused(ref, true)) return *error;
    return wait<AXError>(
        [ref, attribute, value](AtspiCalls& calls) { return calls.set(*atspiElement(ref), attribute, value); });
}

QCoro::Task<AXError> AtspiAccessibility::setAttributeValueAsync(AXElementRef ref, QString attribute, AXValue value)
{
    if (const auto error = refused(ref, true)) co_return *error;
    auto call = await<AXError>(
        [ref, attribute, value](AtspiCalls& calls) { return calls.set(*atspiElement(ref), attribute, value); });
    const AXError written = co_await call;
    co_return written;
}

QCoro::Task<Accessibility::SelectionReads> AtspiAccessibility::readSelectionAsync(AXElementRef ref)
{
    SelectionReads reads;
    if (const auto error = refused(ref, false)) {
        reads.selectedText = fail(*error);
        co_return reads;
    }
    // One trip to libatspi's thread; the rectangle is placed on the screens back here.
    struct Found {
        SelectionReads reads;
        AXResult<AtspiCalls::Bounds> bounds;
    };
    auto call = await<Found>([ref](AtspiCalls& calls) {
        const AtspiElement& element = *atspiElement(ref);
        Found found;
        found.reads.selectedText = calls.copy(element, selectedTextAttribute);
        const QString* text =
            found.reads.selectedText.ok() ? std::get_if<QString>(&found.reads.selectedText.value) : nullptr;
        if (!text || text->isEmpty()) return found;
        found.reads.range = calls.copy(element, selectedTextRangeAttribute);
        found.reads.value = calls.copy(element, valueAttribute);
        const TextRange* range = found.reads.range.ok() ? std::get_if<TextRange>(&found.reads.range.value) : nullptr;
        if (range && !element.isSystemWide()) found.bounds = calls.bounds(element, *range);
        return found;
    });
    const Found found = co_await call;
    reads = found.reads;
    if (found.reads.range.ok()) reads.bounds = placed(found.bounds);
    co_return reads;
}

quint64 AtspiAccessibility::focusEventMark() { return m_focusReports.mark(); }

Accessibility::FocusReports AtspiAccessibility::focusReportsSince(const AXElementRef& ref, quint64 mark)
{
    const AtspiElement* element = atspiElement(ref);
    if (!element || element->isSystemWide()) return {};
    return m_focusReports.since(element->busName(), mark);
}

QCoro::Task<std::optional<bool>> AtspiAccessibility::nextFocusReport(AXElementRef ref, qint64 timeoutMs)
{
    const AtspiElement* element = atspiElement(ref);
    if (!element || element->isSystemWide() || !connected()) co_return std::nullopt;
    const std::optional<bool> said = co_await m_focusReports.next(element->busName(), timeoutMs);
    co_return said;
}

AXResult<AXValue> AtspiAccessibility::placed(const AXResult<AtspiCalls::Bounds>& found)
{
    if (!found.ok()) return fail(found.error);
    const std::optional<QRectF> rect = onOurScreens(found.value);
    if (!rect) return fail(AXError::noValue);
    if (!onSomeScreen(*rect, m_screens ? m_screens->screens() : QList<Screen>{})) {
        Log::write(QStringLiteral("AT-SPI 선택 영역이 어느 화면에도 없음"));
        return fail(AXError::noValue);
    }
    return {AXError::success, AXValue(*rect)};
}

std::optional<QRectF> AtspiAccessibility::onOurScreens(const AtspiCalls::Bounds& found)
{
    if (!m_screens || !m_workspace) return found.reported;
    const auto keep = [&](const QString& why) -> std::optional<QRectF> {
        if (m_requireKnownWindow) {
            Log::write(QStringLiteral("AT-SPI 좌표를 화면 위치로 옮길 수 없어 버림: %1").arg(why));
            return std::nullopt;
        }
        Log::write(QStringLiteral("AT-SPI 좌표의 배율을 알 수 없어 받은 그대로 씀: %1").arg(why));
        return found.reported;
    };
    if (!found.window) return keep(QStringLiteral("앱이 창의 위치를 알려 주지 않음"));
    const std::optional<FrontWindow> front = m_workspace->frontmostWindow();
    if (!front || found.pid <= 0 || front->pid != found.pid)
        return keep(QStringLiteral("앞에 있는 창이 그 앱의 것이 아님"));
    const WindowScale::Finding scale = WindowScale::derive(*found.window, front->device);
    if (!scale.mapping) return keep(scale.why);
    return m_screens->fromDevicePixels(scale.mapping->toDevice(found.reported));
}
