#pragma once

#include <cstddef>

// The single-instance socket's line, shared by the running program (SingleInstance) and the
// quick hand-over front (front/), which has no Qt: "name", then, tab-separated,
// XDG_ACTIVATION_TOKEN=… and DESKTOP_STARTUP_ID=… when the desktop gave those; answered "ok\n"
// or "refused\n".
namespace InstanceWire {

constexpr const char* requestNames[] = {"trigger", "settings", "onboarding", "about", "quit"};
constexpr const char tokenKey[] = "XDG_ACTIVATION_TOKEN=";
constexpr const char startupKey[] = "DESKTOP_STARTUP_ID=";
// A desktop's tokens are far shorter.
constexpr std::size_t maxToken = 200;
constexpr std::size_t maxLine = 512;
// How long a sender waits for the running program to take a request.
constexpr int sendTimeoutMs = 3000;

// Tokens travel as printable ASCII without spaces: what the desktops make, and nothing that
// could split the line or reach a log as something else.
constexpr bool isTokenText(const char* value, std::size_t size)
{
    if (size == 0 || size > maxToken) return false;
    for (std::size_t i = 0; i < size; ++i)
        if (value[i] < 0x21 || value[i] > 0x7e) return false;
    return true;
}

} // namespace InstanceWire
