#include "platform/x11/X11Properties.h"

#include "platform/x11/X11Connection.h"

#include "platform/x11/XlibHeaders.h" // last: its macros clash with Qt

namespace {

struct Property {
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    XFreePtr<unsigned char> data;
};

std::optional<Property> read(X11Connection& connection, Window window, Atom property, long length = 1)
{
    X11Connection::ErrorTrap trap(connection); // the window may be gone already
    Property p;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(connection.display(), window, property, 0, length, False, AnyPropertyType,
                                          &p.type, &p.format, &p.count, &after, &data);
    p.data.reset(data);
    if (trap.check() || status != Success || !p.data || p.count == 0) return std::nullopt;
    return p;
}

struct ClientIdsDeleter {
    long count = 0;
    void operator()(XResClientIdValue* ids) const
    {
        if (ids) XResClientIdsDestroy(count, ids);
    }
};

} // namespace

namespace X11Properties {

std::optional<unsigned long> window(X11Connection& connection, unsigned long window, unsigned long property)
{
    const auto p = read(connection, window, property);
    if (!p || p->type != XA_WINDOW || p->format != 32) return std::nullopt;
    // Format-32 data comes as longs.
    return *reinterpret_cast<const unsigned long*>(p->data.get());
}

std::optional<Pid> cardinal(X11Connection& connection, unsigned long window, unsigned long property)
{
    const auto p = read(connection, window, property);
    if (!p || p->type != XA_CARDINAL || p->format != 32) return std::nullopt;
    return Pid(*reinterpret_cast<const unsigned long*>(p->data.get()));
}

std::optional<std::vector<unsigned long>> cardinals(X11Connection& connection, unsigned long window,
                                                    unsigned long property, int count)
{
    const auto p = read(connection, window, property, count);
    if (!p || p->type != XA_CARDINAL || p->format != 32 || p->count < static_cast<unsigned long>(count))
        return std::nullopt;
    const auto* values = reinterpret_cast<const unsigned long*>(p->data.get());
    return std::vector<unsigned long>(values, values + count);
}

std::optional<ClassHint> classHint(X11Connection& connection, unsigned long window)
{
    X11Connection::ErrorTrap trap(connection);
    XClassHint hint{};
    const Status ok = XGetClassHint(connection.display(), window, &hint);
    XFreePtr<char> name(hint.res_name);
    XFreePtr<char> cls(hint.res_class);
    if (trap.check() || !ok) return std::nullopt;
    const auto text = [](const XFreePtr<char>& p) {
        return p && *p.get() ? std::optional<QString>(QString::fromLocal8Bit(p.get())) : std::nullopt;
    };
    return ClassHint{text(name), text(cls)};
}

std::optional<Pid> clientPid(X11Connection& connection, unsigned long window)
{
    int eventBase = 0, errorBase = 0;
    if (!XResQueryExtension(connection.display(), &eventBase, &errorBase)) return std::nullopt;
    X11Connection::ErrorTrap trap(connection);
    XResClientIdSpec spec{window, XRES_CLIENT_ID_PID_MASK};
    long count = 0;
    XResClientIdValue* ids = nullptr;
    const Status status = XResQueryClientIds(connection.display(), 1, &spec, &count, &ids);
    std::unique_ptr<XResClientIdValue, ClientIdsDeleter> owned(ids, ClientIdsDeleter{count});
    if (trap.check() || status != Success) return std::nullopt;
    for (long i = 0; i < count; ++i) {
        const pid_t pid = XResGetClientPid(&ids[i]);
        if (pid > 0) return Pid(pid);
    }
    return std::nullopt;
}

} // namespace X11Properties
