#pragma once

#include "platform/Activation.h"

#include <QObject>
#include <QString>

#include <optional>

class QLocalServer;
class QLocalSocket;

// One Sorelwick per user session. The first process holds a lock file and listens on a local
// socket in a folder only the user can open ($XDG_RUNTIME_DIR/sorelwick); a later one finds the
// lock taken, hands its request over the socket and exits. One request per connection: a line
// with the request's name, then, tab-separated, XDG_ACTIVATION_TOKEN=… and DESKTOP_STARTUP_ID=…
// when the desktop gave the sender those; answered "ok" or "refused".
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
    // The primary starts taking requests (needs the application object); false when it cannot.
    bool listen();

    // Hands the request to the primary; true when it answered "ok" within the time-out. Plain
    // sockets, no event loop: the primary may still be starting, so it retries until then.
    bool send(Request request, const Activation& activation = {}, int timeoutMs = 3000) const;
    // Sends one raw line (tests use it to send what no Sorelwick sends); returns the answer line.
    QByteArray sendLine(const QByteArray& line, int timeoutMs = 3000) const;

    QString socketPath() const;

signals:
    // A request from another process, on the primary's thread, with what its desktop gave it.
    void requested(SingleInstance::Request request, const Activation& activation);

private:
    void accept();
    void read(QLocalSocket* socket);

    QString m_folder;
    int m_lockFd = -1;
    QLocalServer* m_server = nullptr;
};
