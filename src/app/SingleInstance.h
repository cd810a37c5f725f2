#pragma once

#include "app/InstanceWire.h"
#include "platform/Activation.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>
#include <sys/types.h>

class QFileSystemWatcher;
class QLocalSocket;
class QSocketNotifier;

// One Sorelwick per user session. The first process holds a lock file and listens on a local
// socket in a folder only the user can open ($XDG_RUNTIME_DIR/sorelwick); a later one finds the
// lock taken, hands its request over the socket and exits. One request per connection: a line
// with the request's name, then, tab-separated, XDG_ACTIVATION_TOKEN=… and DESKTOP_STARTUP_ID=…
// when the desktop gave the sender those; answered "ok" or "refused".
// The listener outlives what callers do to it: past kMaxClients open connections the oldest is
// closed, running out of descriptors closes callers rather than the listener, and a socket or
// folder removed while it runs is made again, lock included.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Request { trigger, settings, onboarding, about, quit };

    // "--trigger" → trigger, …; absent for anything else.
    static std::optional<Request> fromOption(const QString& option);
    static QString name(Request request);

    // The folder of the lock and the socket: $XDG_RUNTIME_DIR/sorelwick, or, without that
    // variable, sorelwick-<uid> in the temporary folder.
    static QString defaultFolder();

    explicit SingleInstance(QString folder = defaultFolder(), QObject* parent = nullptr);
    ~SingleInstance() override;

    enum class Role {
        primary, // this process holds the lock
        secondary, // another process holds the lock
        unavailable, // the folder is unsafe or unusable; run alone without the socket
    };
    // Takes the lock, or finds that another process has it. Needs no application object, so a
    // second process hands its request over without connecting to the display.
    Role claim();
    // Why the role is unavailable, for the user.
    QString problem() const { return m_problem; }
    // The primary starts taking requests (needs the application object); false when it cannot.
    bool listen();

    // Hands the request to the primary; true when it answered "ok" within the time-out. Plain
    // sockets, no event loop: the primary may still be starting, so it retries until then.
    bool send(Request request, const Activation& activation = {}, int timeoutMs = InstanceWire::sendTimeoutMs) const;
    // Sends one raw line (tests use it to send what no Sorelwick sends); returns the answer line.
    QByteArray sendLine(const QByteArray& line, int timeoutMs = InstanceWire::sendTimeoutMs) const;

    QString socketPath() const;

    // Connections held open at once; more close the oldest.
    static constexpr int kMaxClients = 64;

signals:
    // A request from another process, on the primary's thread, with what its desktop gave it.
    void requested(SingleInstance::Request request, const Activation& activation);

private:
    bool bindSocket();
    void closeSocket();
    void accept();
    void adopt(int fd);
    bool dropOldestClient();
    void read(QLocalSocket* socket);
    // Makes the socket again (and the folder, and the lock) when it is gone.
    void checkSocket();

    QString m_folder;
    QString m_problem;
    int m_lockFd = -1;
    bool m_listening = false; // listen() succeeded: the socket is kept there
    int m_listenFd = -1;
    ino_t m_socketInode = 0;
    int m_spareFd = -1; // given up to make room for turning a caller away when descriptors run out
    bool m_crowdedLogged = false;
    QSocketNotifier* m_notifier = nullptr;
    QFileSystemWatcher* m_watcher = nullptr;
    QTimer m_recheck;
    QList<QLocalSocket*> m_clients; // oldest first
};
