#pragma once

#include "platform/Types.h"

#include <qcoro/qcorotask.h>

// One synthetic keystroke, posted only when it is safe.
class KeySim {
public:
    KeySim() = delete;

    static constexpr quint64 modifierMask = ModifierFlag::deviceIndependentMask;
    static constexpr qint64 modifierWaitMs = 1000;
    static constexpr qint64 modifierPollMs = 15;

    // Posts a key-down and a key-up of key with exactly flags, once the user's modifier keys are
    // up and provided the application pid is still in front. False when refused.
    static QCoro::Task<bool> press(quint16 key, quint64 flags, Pid pid);
};
