#include "platform/x11/X11Session.h"

#include "base/Log.h"

#include <QtGlobal>

X11Session X11Session::fromEnvironment()
{
    X11Session s;
    const QByteArray type = qgetenv("XDG_SESSION_TYPE").toLower();
    s.wayland = type == "wayland" || (type.isEmpty() && !qgetenv("WAYLAND_DISPLAY").isEmpty());
    s.hasDisplay = !qgetenv("DISPLAY").isEmpty();
    return s;
}

X11Session X11Session::checkAndLog()
{
    static const X11Session session = [] {
        const X11Session s = fromEnvironment();
        if (!s.hasDisplay)
            Log::write(QStringLiteral("X 디스플레이가 없음(DISPLAY 없음): 전역 단축키, 키 보내기, 맨 앞 앱 추적 없이 실행"));
        else if (s.wayland)
            Log::write(QStringLiteral("Wayland 세션: 전역 단축키와 키 보내기는 XWayland 앱에만 닿음"));
        return s;
    }();
    return session;
}
