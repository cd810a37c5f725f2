#include "app/Launcher.h"

#include "app/AppDelegate.h"
#include "app/SingleInstance.h"
#include "base/Log.h"

#include <QApplication>
#include <QTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::optional<SingleInstance::Request> requestOf(int argc, char** argv)
{
    if (argc != 2) return std::nullopt;
    return SingleInstance::fromOption(QString::fromLocal8Bit(argv[1]));
}

bool hasDisplay() { return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"); }

// Our shortcut, key chords and panel placement go through X. Where a Wayland session also offers
// X (XWayland), Qt is kept on X: unset, a newer Qt would pick Wayland there, and a Wayland choice
// in the environment is meant for other programs. Other choices (offscreen) stand.
void keepQtOnX()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return;
    const QString chosen = qEnvironmentVariable("QT_QPA_PLATFORM");
    if (!chosen.isEmpty() && !chosen.startsWith(QLatin1String("wayland"))) return;
    if (!chosen.isEmpty()) Log::write(QStringLiteral("QT_QPA_PLATFORM=%1 대신 xcb로 실행: 단축키와 창이 X를 거침").arg(chosen));
    qputenv("QT_QPA_PLATFORM", "xcb");
}

// libatspi opens its connection to each application on GLib's default context, from the thread
// it runs on (AtspiThread), which takes the connection over afterwards. Qt's GLib event loop
// would dispatch that context on this thread meanwhile: two threads on one connection, and libdbus
// ends the program ("dbus_watch_handle ... watch != NULL"). Qt's own loop leaves the context alone;
// GTK's dialogs need GLib's, so Qt's own dialogs are used.
void keepGlibContextForAccessibility()
{
    qputenv("QT_NO_GLIB", "1");
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

// How the program was named when it started, for a start in place.
std::string& programName()
{
    static std::string name;
    return name;
}

void say(const QString& text) { std::fprintf(stderr, "sorelwick: %s\n", text.toLocal8Bit().constData()); }

} // namespace

namespace Launcher {

bool isDesktopLaunch(int argc, char** argv) { return argc == 1 || requestOf(argc, argv).has_value(); }

int run(int argc, char** argv)
{
    programName() = argv[0];
    const std::optional<SingleInstance::Request> request = requestOf(argc, argv);
    // The hand-over needs neither the display nor an application object, so it stays quick
    // for a desktop shortcut bound to --trigger.
    SingleInstance instance;
    const SingleInstance::Role role = instance.claim();
    if (role == SingleInstance::Role::secondary) {
        // Started again from the applications menu: without a tray (GNOME's default) the settings
        // are the only thing a user would otherwise see of the running one.
        const SingleInstance::Request asked = request.value_or(SingleInstance::Request::settings);
        if (!request) say(QStringLiteral("Sorelwick already runs; its settings open (--quit ends it)"));
        if (instance.send(asked, Activation::fromEnvironment())) return 0;
        say(QStringLiteral("the running Sorelwick did not answer --%1").arg(SingleInstance::name(asked)));
        return 1;
    }
    // Without the lock nothing keeps a second Sorelwick from running beside this one, and later
    // starts could not reach it: none starts.
    if (role == SingleInstance::Role::unavailable) {
        say(QStringLiteral("not started: %1. A later start finds the running Sorelwick through this folder; "
                           "remove it, or set XDG_RUNTIME_DIR to a folder of your own.")
                .arg(instance.problem()));
        return 1;
    }
    if (request == SingleInstance::Request::quit) {
        say(QStringLiteral("Sorelwick is not running"));
        return 0;
    }
    if (!hasDisplay()) {
        say(QStringLiteral("no desktop to run on: neither an X display (DISPLAY) nor Wayland (WAYLAND_DISPLAY).\n"
                           "The command line works without one, e.g.: sorelwick lookup 수도 (see sorelwick --help)"));
        return 1;
    }

    keepQtOnX();
    keepGlibContextForAccessibility();
    QApplication app(argc, argv);
    qunsetenv("QT_NO_GLIB"); // read: not for the programs started from here
    QApplication::setApplicationName(QStringLiteral("sorelwick"));
    QApplication::setDesktopFileName(QStringLiteral("sorelwick"));
    // A tray program: closing its last window does not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    // Holding the lock, it stays the only one even so; a later start says it got no answer.
    if (!instance.listen()) Log::write(QStringLiteral("단일 실행: 다른 실행의 요청을 받지 못한 채로 시작함"));

    AppDelegate delegate;
    delegate.start();
    QObject::connect(&instance, &SingleInstance::requested, &delegate, &AppDelegate::handle);
    if (request)
        QTimer::singleShot(0, &delegate, [&delegate, r = *request] { delegate.handle(r, Activation::fromEnvironment()); });
    return app.exec();
}

void restartInPlace()
{
    // A plain start: a request it was started with (--settings) was answered then. The lock and
    // the sockets close with the old image (opened close-on-exec), so the new one takes them.
    char* const arguments[] = {programName().data(), nullptr};
    ::execv("/proc/self/exe", arguments);
    Log::write(QStringLiteral("다시 시작하지 못함: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace Launcher
