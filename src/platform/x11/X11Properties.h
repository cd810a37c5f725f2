#pragma once

#include "platform/Types.h"

#include <QString>

#include <optional>
#include <vector>

class X11Connection;

// Reads of window properties and of what the server knows about a window's client.
namespace X11Properties {

// A WINDOW property's first value; absent when the property is missing or of another type.
std::optional<unsigned long> window(X11Connection& connection, unsigned long window, unsigned long property);
// A CARDINAL property's first value.
std::optional<Pid> cardinal(X11Connection& connection, unsigned long window, unsigned long property);
// The first `count` values of a CARDINAL property; absent when it has fewer.
std::optional<std::vector<unsigned long>> cardinals(X11Connection& connection, unsigned long window,
                                                    unsigned long property, int count);
// WM_CLASS: the instance part (xterm, mousepad) and the class part (XTerm, Mousepad), each absent
// when empty; absent as a whole when the window has none.
struct ClassHint {
    std::optional<QString> instance;
    std::optional<QString> cls;
};
std::optional<ClassHint> classHint(X11Connection& connection, unsigned long window);
// The PID of the client that created the window, as the server saw it connect (XRes).
std::optional<Pid> clientPid(X11Connection& connection, unsigned long window);

} // namespace X11Properties
