#include "platform/x11/X11Compositing.h"

#include <QGuiApplication>

#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

namespace X11Compositing {

bool active()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    Display* display = x11 ? x11->display() : nullptr;
    if (!display) return true;
    // Asked each time: a compositor may start or stop while we run. One round trip.
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(display));
    return XGetSelectionOwner(display, XInternAtom(display, name.constData(), False)) != 0;
}

} // namespace X11Compositing
