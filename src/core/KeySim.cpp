#include "core/KeySim.h"

#include "base/Log.h"
#include "platform/Platform.h"

QCoro::Task<bool> KeySim::press(quint16 key, quint64 flags, Pid pid)
{
    Platform& platform = Platform::shared();
    const auto clock = platform.clock;
    const auto keyPoster = platform.keyPoster;
    const auto workspace = platform.workspace;
    const auto hotKeys = platform.hotKeys;

    // A held modifier would join the synthetic one (Ctrl+C with Alt held is another shortcut), and
    // while the shortcut's own key is down (Ctrl and Alt let go first) every key goes to its grab.
    const qint64 deadline = clock->monotonicMs() + modifierWaitMs;
    while ((keyPoster->combinedModifierFlags() & modifierMask) || (hotKeys && hotKeys->keyHeld())) {
        if (clock->monotonicMs() >= deadline) {
            Log::write(QStringLiteral("수정자 키가 떨어지지 않아 단축키 흉내를 건너뜀"));
            co_return false;
        }
        co_await clock->sleep(modifierPollMs);
    }

    auto asking = workspace->frontmostApplicationAsync();
    const std::optional<RunningApplication> front = co_await asking;
    if (!front || front->pid != pid) {
        Log::write(QStringLiteral("맨 앞 앱이 바뀌어 단축키 흉내를 건너뜀"));
        co_return false;
    }

    // Without the key-down nothing reaches the application; saying it did would let a paste
    // count as a replacement.
    if (!keyPoster->postKeyEvent(key, flags, true)) {
        Log::write(QStringLiteral("키 이벤트를 만들지 못해 단축키 흉내를 건너뜀"));
        co_return false;
    }
    if (!keyPoster->postKeyEvent(key, flags, false)) Log::write(QStringLiteral("키 떼기 이벤트를 만들지 못함"));
    co_return true;
}
