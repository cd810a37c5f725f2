#include "platform/x11/X11TrayColors.h"

#include "base/Log.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QRgba64>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

xcb_atom_t atom(xcb_connection_t* c, const QByteArray& name, bool onlyIfExists)
{
    Reply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, onlyIfExists, uint16_t(name.size()), name.constData()), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

} // namespace

namespace X11TrayColors {

std::optional<QColor> foreground()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c || !x11->display()) return std::nullopt;
    // A selection nobody ever named has no atom yet, and so no tray.
    const xcb_atom_t tray = atom(c, "_NET_SYSTEM_TRAY_S" + QByteArray::number(DefaultScreen(x11->display())), true);
    if (tray == XCB_ATOM_NONE) return std::nullopt;
    Reply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, tray), nullptr));
    if (!owner || owner->owner == XCB_WINDOW_NONE) return std::nullopt;
    const xcb_atom_t colors = atom(c, "_NET_SYSTEM_TRAY_COLORS", false);
    // Errors come back as values: a tray that has just gone away reads as no tray.
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_property_reply_t> property(xcb_get_property_reply(
        c, xcb_get_property(c, false, owner->owner, colors, XCB_ATOM_ANY, 0, 12), &error));
    std::free(error);
    if (!property || property->type == XCB_ATOM_NONE) return std::nullopt;
    const int count = xcb_get_property_value_length(property.get()) / 4;
    if (property->type != XCB_ATOM_CARDINAL || property->format != 32 || count < 3) {
        Log::write(QStringLiteral("트레이가 알린 색(_NET_SYSTEM_TRAY_COLORS)이 CARDINAL 값 셋 이상이 아님: 형식 %1, 값 %2개")
                       .arg(property->format)
                       .arg(count));
        return std::nullopt;
    }
    const auto* rgb = static_cast<const uint32_t*>(xcb_get_property_value(property.get()));
    if (rgb[0] > 0xffff || rgb[1] > 0xffff || rgb[2] > 0xffff) {
        Log::write(QStringLiteral("트레이가 알린 색(_NET_SYSTEM_TRAY_COLORS)이 16비트를 넘음: %1 %2 %3")
                       .arg(rgb[0])
                       .arg(rgb[1])
                       .arg(rgb[2]));
        return std::nullopt;
    }
    return QColor(QRgba64::fromRgba64(quint16(rgb[0]), quint16(rgb[1]), quint16(rgb[2]), 0xffff));
}

} // namespace X11TrayColors
