#pragma once

#include <glib.h>

#include <memory>

// Memory that libatspi hands over to be released with g_free (strings, AtspiRange, AtspiRect).
struct GFree {
    void operator()(void* p) const { g_free(p); }
};
template <typename T>
using GOwned = std::unique_ptr<T, GFree>;
