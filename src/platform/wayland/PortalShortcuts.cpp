#include "platform/wayland/PortalShortcuts.h"

#include "base/Log.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <unistd.h>

namespace {

// One shortcut as the portal takes and gives them: a(sa{sv}).
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};
using PortalShortcutList = QList<PortalShortcut>;

QDBusArgument& operator<<(QDBusArgument& out, const PortalShortcut& s)
{
    out.beginStructure();
    out << s.id << s.properties;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, PortalShortcut& s)
{
    in.beginStructure();
    in >> s.id >> s.properties;
    in.endStructure();
    return in;
}

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)
Q_DECLARE_METATYPE(PortalShortcutList)

namespace {

const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");

void registerTypes()
{
    static const bool once = [] {
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<PortalShortcutList>();
        return true;
    }();
    Q_UNUSED(once);
}

// The session handle is an object path; portals have given it as a string too.
QString pathText(const QVariant& value)
{
    if (value.canConvert<QDBusObjectPath>()) return value.value<QDBusObjectPath>().path();
    return value.toString();
}

// What the desktop says the bound trigger is, from BindShortcuts' results.
QString triggerDescription(const QVariantMap& results)
{
    const auto shortcuts = qdbus_cast<PortalShortcutList>(results.value(QStringLiteral("shortcuts")));
    for (const PortalShortcut& s : shortcuts)
        if (s.id == QLatin1String(PortalShortcuts::shortcutId))
            return s.properties.value(QStringLiteral("trigger_description")).toString();
    return {};
}

} // namespace

bool PortalShortcuts::isAvailable(const QDBusConnection& bus)
{
    if (!bus.isConnected()) return false;
    QDBusMessage get = QDBusMessage::createMethodCall(QLatin1String(service), QLatin1String(objectPath),
                                                      QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    get << QLatin1String(interface) << QStringLiteral("version");
    return bus.call(get, QDBus::Block, 2000).type() == QDBusMessage::ReplyMessage;
}

PortalShortcuts::PortalShortcuts(QDBusConnection bus, QObject* parent)
    : QObject(parent)
    , m_bus(std::move(bus))
{
    registerTypes();
    // Presses of every session come as one signal; ours are told apart by the session path.
    m_bus.connect(QLatin1String(service), QLatin1String(objectPath), QLatin1String(interface),
                  QStringLiteral("Activated"), this, SLOT(onActivated(QDBusMessage)));
}

PortalShortcuts::~PortalShortcuts()
{
    unbind();
    for (const auto& [path, answer] : m_pending)
        m_bus.disconnect(QLatin1String(service), path, kRequestInterface, QStringLiteral("Response"), this,
                         SLOT(onResponse(QDBusMessage)));
}

void PortalShortcuts::bind(const QString& trigger)
{
    unbind();
    const quint64 generation = m_generation;
    request(QStringLiteral("CreateSession"), {},
            {{QStringLiteral("session_handle_token"), QStringLiteral("sorelwick%1_%2").arg(::getpid()).arg(generation)}},
            [this, trigger, generation](uint response, const QVariantMap& results) {
                const QString session = pathText(results.value(QStringLiteral("session_handle")));
                if (response != 0 || session.isEmpty()) {
                    Log::write(QStringLiteral("포털 단축키: 세션을 만들지 못함 (응답 %1)").arg(response));
                    return;
                }
                // A change or an unbind came meanwhile: this session is not wanted any more.
                if (generation != m_generation) {
                    closeSession(session);
                    return;
                }
                m_session = session;
                bindInSession(trigger, generation);
            });
}

void PortalShortcuts::bindInSession(const QString& trigger, quint64 generation)
{
    const PortalShortcutList shortcuts{
        {QLatin1String(shortcutId),
         {{QStringLiteral("description"), QStringLiteral("소렐: 선택한 낱말의 한자 후보")},
          {QStringLiteral("preferred_trigger"), trigger}}}};
    request(QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts), QString()}, {},
            [this, trigger, generation](uint response, const QVariantMap& results) {
                if (generation != m_generation) return;
                if (response != 0) {
                    // 1: the user said no in the desktop's dialog; 2: it failed.
                    Log::write(QStringLiteral("포털 단축키 %1: 등록되지 않음 (응답 %2)").arg(trigger).arg(response));
                    return;
                }
                const QString described = triggerDescription(results);
                Log::write(QStringLiteral("포털 단축키 등록: %1 (데스크톱: %2)").arg(trigger, described));
                emit bound(described);
            });
}

void PortalShortcuts::unbind()
{
    ++m_generation;
    if (m_session.isEmpty()) return;
    closeSession(std::exchange(m_session, QString()));
    Log::write(QStringLiteral("포털 단축키: 세션 닫음"));
}

void PortalShortcuts::closeSession(const QString& session)
{
    m_bus.call(QDBusMessage::createMethodCall(QLatin1String(service), session, QStringLiteral("org.freedesktop.portal.Session"),
                                              QStringLiteral("Close")),
               QDBus::NoBlock);
}

QString PortalShortcuts::requestPath(const QString& token) const
{
    // The documented Request path: the caller's unique name without ":" and with "_" for ".".
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

void PortalShortcuts::request(const QString& method, const QList<QVariant>& leading, QVariantMap options, Answer answer)
{
    const QString token = QStringLiteral("sorelwick%1_%2").arg(::getpid()).arg(++m_nextToken);
    options.insert(QStringLiteral("handle_token"), token);
    // Subscribed before the call, so an answer that comes at once is not missed.
    const QString path = requestPath(token);
    m_pending[path] = std::move(answer);
    m_bus.connect(QLatin1String(service), path, kRequestInterface, QStringLiteral("Response"), this,
                  SLOT(onResponse(QDBusMessage)));
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(service), QLatin1String(objectPath), QLatin1String(interface), method);
    call.setArguments(QList<QVariant>(leading) << options);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, path, method] {
        watcher->deleteLater();
        if (!watcher->isError()) return;
        Log::write(QStringLiteral("포털 단축키: %1 실패: %2").arg(method, watcher->error().message()));
        forget(path);
    });
}

void PortalShortcuts::forget(const QString& path)
{
    m_bus.disconnect(QLatin1String(service), path, kRequestInterface, QStringLiteral("Response"), this,
                     SLOT(onResponse(QDBusMessage)));
    m_pending.erase(path);
}

void PortalShortcuts::onResponse(const QDBusMessage& message)
{
    const auto it = m_pending.find(message.path());
    if (it == m_pending.end()) return;
    const Answer answer = std::move(it->second);
    forget(message.path());
    const QList<QVariant> args = message.arguments();
    const uint response = args.value(0).toUInt();
    answer(response, args.size() > 1 ? qdbus_cast<QVariantMap>(args.at(1)) : QVariantMap());
}

void PortalShortcuts::onActivated(const QDBusMessage& message)
{
    const QList<QVariant> args = message.arguments();
    if (m_session.isEmpty() || args.size() < 2 || pathText(args.at(0)) != m_session
        || args.at(1).toString() != QLatin1String(shortcutId))
        return;
    const QVariantMap options = args.size() > 3 ? qdbus_cast<QVariantMap>(args.at(3)) : QVariantMap();
    emit activated(Activation{options.value(QStringLiteral("activation_token")).toString().toUtf8(), {}});
}
