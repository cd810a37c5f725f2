#include "platform/Platform.h"

#include <QtGlobal>

#include <mutex>

namespace {
std::mutex g_mutex;
std::shared_ptr<Platform> g_platform;
} // namespace

Platform& Platform::shared()
{
    std::lock_guard lock(g_mutex);
    if (!g_platform) qFatal("[Sorelwick] no platform installed: Platform::setShared must run at start-up");
    return *g_platform;
}

void Platform::setShared(std::shared_ptr<Platform> platform)
{
    std::lock_guard lock(g_mutex);
    g_platform = std::move(platform);
}

bool Platform::isInstalled()
{
    std::lock_guard lock(g_mutex);
    return g_platform != nullptr;
}
