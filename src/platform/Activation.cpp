#include "platform/Activation.h"

#include <QtGlobal>

#include <utility>

namespace {
Activation& pending()
{
    static Activation value;
    return value;
}
} // namespace

Activation Activation::fromEnvironment()
{
    return {qgetenv("XDG_ACTIVATION_TOKEN"), qgetenv("DESKTOP_STARTUP_ID")};
}

void Activation::setPending(Activation activation) { pending() = std::move(activation); }

Activation Activation::takePending() { return std::exchange(pending(), Activation{}); }
