// The shortcut a Wayland desktop delivers, against real desktop services on the session's private
// bus: GNOME's custom shortcuts in dconf, read back with the gsettings command as gnome-settings-
// daemon reads them, and a GlobalShortcuts portal of our own making that answers as the
// documented interface does (no real one runs here: GNOME 43 has none, KDE is not installed).

#include "DesktopTestSupport.h"

#include "base/Defaults.h"
#include "core/Shortcut.h"
#include "core/ShortcutCenter.h"
#include "platform/wayland/PortalShortcuts.h"
#include "platform/wayland/WaylandHotKeys.h"
#include "support/FakePlatform.h"
#include "support/MemoryDefaultsStore.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QThread>

#include <gtest/gtest.h>

#include <mutex>

using namespace Qt::StringLiterals;
using Route = HotKeyService::DesktopRoute;

namespace {

const QString kList = u"org.gnome.settings-daemon.plugins.media-keys"_s;
const QString kOurs = kList + u".custom-keybinding:/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/sorelwick/"_s;
const QString kTheirs = kList + u".custom-keybinding:/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/"_s;
const QString kCommand = u"'/opt/my apps/sorelwick' --trigger"_s;

QString gsettings(const QStringList& args)
{
    return QString::fromUtf8(DesktopTest::run(u"gsettings"_s, args).value_or(QByteArray())).trimmed();
}
QString get(const QString& schema, const QString& key) { return gsettings({u"get"_s, schema, key}); }

class DesktopShortcut : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        // What GNOME uses, so that the gsettings command (another process) sees our writes.
        qputenv("GSETTINGS_BACKEND", "dconf");
    }
    void install(Route route, std::unique_ptr<PortalShortcuts> portal = nullptr)
    {
        Defaults::setShared(std::make_shared<MemoryDefaultsStore>());
        fake = FakePlatform::install();
        wayland = std::make_shared<WaylandHotKeys>(fake->hotKeys, route, std::move(portal), kCommand);
        fake->platform->hotKeys = wayland;
    }
    std::shared_ptr<FakePlatform> fake;
    std::shared_ptr<WaylandHotKeys> wayland;
};

TEST_F(DesktopShortcut, GnomeBindingFollowsConsentAndRecorderAndLeavesTheUsersOwnAlone)
{
    // The user's own custom shortcuts, one of them on Ctrl+Alt+K in GTK's other spelling.
    const QString theirs2 = kTheirs.chopped(2) + u"1/"_s;
    gsettings({u"set"_s, kList, u"custom-keybindings"_s,
               u"['/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom0/', "
               "'/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/custom1/']"_s});
    gsettings({u"set"_s, kTheirs, u"binding"_s, u"<Super>t"_s});
    gsettings({u"set"_s, kTheirs, u"command"_s, u"gnome-terminal"_s});
    gsettings({u"set"_s, theirs2, u"name"_s, u"notes"_s});
    gsettings({u"set"_s, theirs2, u"binding"_s, u"<Primary><Alt>K"_s});
    const QString theirList = get(kList, u"custom-keybindings"_s);

    install(Route::gnomeCustomShortcut);
    ShortcutCenter center;
    center.activate([] {});
    EXPECT_EQ(get(kList, u"custom-keybindings"_s), theirList) << "nothing is written without consent";
    EXPECT_TRUE(center.isRegistered()) << "the X grab still serves XWayland windows";

    ASSERT_EQ(center.allowGnomeShortcut(true), std::nullopt);
    EXPECT_TRUE(get(kList, u"custom-keybindings"_s).contains(u"/sorelwick/"_s));
    EXPECT_EQ(get(kOurs, u"binding"_s), u"'<Control><Alt>h'"_s);
    EXPECT_EQ(get(kOurs, u"command"_s), u"\"'/opt/my apps/sorelwick' --trigger\""_s);

    // Recorded anew: the binding follows; one the user's shortcut has is refused and changes nothing.
    using namespace ModifierFlag;
    ASSERT_EQ(center.change(Shortcut{38, control | shift}), std::nullopt);
    EXPECT_EQ(get(kOurs, u"binding"_s), u"'<Control><Shift>j'"_s);
    EXPECT_EQ(center.change(Shortcut{40, control | option}), u"다른 앱이 이미 쓰고 있는 조합입니다."_s);
    EXPECT_EQ(get(kOurs, u"binding"_s), u"'<Control><Shift>j'"_s);
    EXPECT_TRUE(center.isRegistered());

    // While a new one is recorded the desktop must let the keys through to the recorder.
    center.suspend();
    EXPECT_EQ(get(kList, u"custom-keybindings"_s), theirList);
    center.resume();
    EXPECT_TRUE(get(kList, u"custom-keybindings"_s).contains(u"/sorelwick/"_s));

    ASSERT_EQ(center.allowGnomeShortcut(false), std::nullopt);
    EXPECT_EQ(get(kList, u"custom-keybindings"_s), theirList);
    EXPECT_EQ(get(kOurs, u"binding"_s), u"''"_s) << "our keys are cleared, not left behind";
    EXPECT_EQ(get(kTheirs, u"binding"_s), u"'<Super>t'"_s);
    EXPECT_EQ(get(kTheirs, u"command"_s), u"'gnome-terminal'"_s);
}

// A GlobalShortcuts portal as the interface documents it, on its own connection and thread.
class FakePortal : public QDBusVirtualObject {
public:
    struct Seen {
        QString method;
        QString path; // the session for Close, else the portal
        QString trigger; // BindShortcuts' preferred_trigger
    };
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QString member = message.member();
        QDBusConnection bus = connection;
        if (member == u"Get"_s) {
            bus.send(message.createReply(QVariant::fromValue(QDBusVariant(1u))));
            return true;
        }
        if (member == u"Close"_s) {
            record({member, message.path(), {}});
            bus.send(message.createReply());
            return true;
        }
        const QList<QVariant> args = message.arguments();
        const QVariantMap options = qdbus_cast<QVariantMap>(args.last());
        QString sender = message.service().mid(1).replace(u'.', u'_');
        const QString request = u"/org/freedesktop/portal/desktop/request/%1/%2"_s.arg(sender, options.value(u"handle_token"_s).toString());
        bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        QVariantMap results;
        if (member == u"CreateSession"_s) {
            const QString session = u"/org/freedesktop/portal/desktop/session/%1/%2"_s.arg(sender, options.value(u"session_handle_token"_s).toString());
            results.insert(u"session_handle"_s, session);
            record({member, session, {}});
        } else if (member == u"BindShortcuts"_s) {
            // a(sa{sv}): read by hand, the way a portal without our types would.
            const QDBusArgument list = args.at(1).value<QDBusArgument>();
            QString trigger;
            list.beginArray();
            while (!list.atEnd()) {
                QString id;
                QVariantMap props;
                list.beginStructure();
                list >> id >> props;
                list.endStructure();
                if (id == u"hanja"_s) trigger = props.value(u"preferred_trigger"_s).toString();
            }
            list.endArray();
            record({member, args.at(0).value<QDBusObjectPath>().path(), trigger});
        }
        QDBusMessage response = QDBusMessage::createSignal(request, u"org.freedesktop.portal.Request"_s, u"Response"_s);
        response << 0u << results;
        bus.send(response);
        return true;
    }
    void activate(const QDBusConnection& connection, const QString& session, const QString& token)
    {
        QDBusMessage signal = QDBusMessage::createSignal(u"/org/freedesktop/portal/desktop"_s,
                                                         u"org.freedesktop.portal.GlobalShortcuts"_s, u"Activated"_s);
        signal << QVariant::fromValue(QDBusObjectPath(session)) << u"hanja"_s << quint64(0)
               << QVariantMap{{u"activation_token"_s, token}};
        QDBusConnection(connection).send(signal);
    }
    QList<Seen> seen()
    {
        std::lock_guard lock(m_mutex);
        return m_seen;
    }

private:
    void record(Seen s)
    {
        std::lock_guard lock(m_mutex);
        m_seen << s;
    }
    std::mutex m_mutex;
    QList<Seen> m_seen;
};

TEST_F(DesktopShortcut, PortalSessionHoldsTheRecordedShortcutAndItsPressesDispatch)
{
    // The portal answers from its own thread, as another process would.
    QThread thread;
    thread.start();
    FakePortal portal;
    portal.moveToThread(&thread);
    QDBusConnection portalBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, u"fake-portal"_s);
    QMetaObject::invokeMethod(&portal, [&] {
        portalBus.registerVirtualObject(u"/org/freedesktop/portal/desktop"_s, &portal, QDBusConnection::SubPath);
        portalBus.registerService(u"org.freedesktop.portal.Desktop"_s);
    }, Qt::BlockingQueuedConnection);
    ASSERT_TRUE(PortalShortcuts::isAvailable(QDBusConnection::sessionBus()));

    install(Route::portal, std::make_unique<PortalShortcuts>(QDBusConnection::sessionBus()));
    ShortcutCenter center;
    int presses = 0;
    center.activate([&] { ++presses; });
    ASSERT_TRUE(DesktopTest::waitUntil([&] { return portal.seen().size() == 2; }));
    EXPECT_EQ(portal.seen().at(1).method, u"BindShortcuts"_s);
    EXPECT_EQ(portal.seen().at(1).trigger, u"CTRL+ALT+h"_s);
    const QString first = portal.seen().at(1).path;
    EXPECT_EQ(first, portal.seen().at(0).path) << "bound in the session it made";

    Activation::takePending();
    portal.activate(portalBus, first, u"token-1"_s);
    ASSERT_TRUE(DesktopTest::waitUntil([&] { return presses == 1; }));
    EXPECT_EQ(Activation::takePending().xdgActivationToken, "token-1");

    // A new combination: the old session goes, the new one holds the new trigger.
    using namespace ModifierFlag;
    ASSERT_EQ(center.change(Shortcut{122, option | shift}), std::nullopt);
    ASSERT_TRUE(DesktopTest::waitUntil([&] { return portal.seen().size() == 5; }));
    EXPECT_EQ(portal.seen().at(2).method, u"Close"_s);
    EXPECT_EQ(portal.seen().at(2).path, first);
    EXPECT_EQ(portal.seen().at(4).trigger, u"ALT+SHIFT+F1"_s);
    // A press in the closed session is not ours; one in the new session is (they come in order).
    portal.activate(portalBus, first, u"stale"_s);
    portal.activate(portalBus, portal.seen().at(4).path, u"token-2"_s);
    ASSERT_TRUE(DesktopTest::waitUntil([&] { return presses >= 2; }));
    EXPECT_EQ(presses, 2);
    EXPECT_EQ(Activation::takePending().xdgActivationToken, "token-2");

    center.suspend();
    ASSERT_TRUE(DesktopTest::waitUntil([&] { return portal.seen().size() == 6; }));
    EXPECT_EQ(portal.seen().at(5).method, u"Close"_s);
    EXPECT_EQ(portal.seen().at(5).path, portal.seen().at(4).path);

    QMetaObject::invokeMethod(&portal, [&] { portalBus.unregisterObject(u"/org/freedesktop/portal/desktop"_s); },
                              Qt::BlockingQueuedConnection);
    QDBusConnection::disconnectFromBus(u"fake-portal"_s);
    thread.quit();
    thread.wait();
}

} // namespace
