#include "core/ShortcutCenter.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "core/HotKey.h"
#include "platform/Platform.h"

#include <limits>

namespace {

const QString kHotKeyCode = QStringLiteral("hotKeyCode");
const QString kHotKeyModifiers = QStringLiteral("hotKeyModifiers");

bool isInputSourceSwitch(const Shortcut& s)
{
    using namespace ModifierFlag;
    return s.keyCode == KeyCode::space
        && (s.modifiers == control || s.modifiers == (control | option) || s.modifiers == command);
}

// Why a combination cannot be the shortcut; none when it can.
std::optional<QString> refusal(const Shortcut& shortcut)
{
    const bool withControlOrOption = shortcut.modifiers & (ModifierFlag::control | ModifierFlag::option);
    if (isInputSourceSwitch(shortcut)) return QStringLiteral("입력 소스 전환 단축키와 겹칩니다.");
    if (!withControlOrOption) {
        if (shortcut.modifiers & ModifierFlag::command)
            return QStringLiteral("Super만 쓰는 조합은 데스크톱 단축키와 겹칩니다. Ctrl이나 Alt를 함께 눌러 주세요.");
        return QStringLiteral("Ctrl이나 Alt를 함께 눌러 주세요.");
    }
    return std::nullopt;
}

} // namespace

ShortcutCenter::~ShortcutCenter() = default;

ShortcutCenter& ShortcutCenter::shared()
{
    static ShortcutCenter instance;
    return instance;
}

ShortcutCenter::ShortcutCenter()
{
    DefaultsStore& defaults = Defaults::shared();
    if (!defaults.contains(kHotKeyCode)) return;

    const auto code = defaults.integer(kHotKeyCode);
    const std::optional<qint64> modifiers = defaults.contains(kHotKeyModifiers)
        ? defaults.integer(kHotKeyModifiers)
        : std::optional<qint64>(0);
    const bool valid = code && *code >= 0 && *code <= std::numeric_limits<quint32>::max() && modifiers
        && *modifiers >= 0;
    if (!valid) {
        Log::write(QStringLiteral("저장된 단축키 값이 잘못되어 기본 단축키로 돌아감: hotKeyCode %1, hotKeyModifiers %2")
                       .arg(defaults.value(kHotKeyCode).toVariant().toString(),
                            defaults.value(kHotKeyModifiers).toVariant().toString()));
        return;
    }
    const Shortcut stored{quint32(*code), quint64(*modifiers) & Shortcut::modifierMask};
    // A pair the recorder would refuse (written by hand, or half written) would take a plain key
    // from every application on the desktop.
    if (const auto why = refusal(stored)) {
        Log::write(QStringLiteral("저장된 단축키 %1: 쓸 수 없어 기본 단축키로 돌아감 (%2)").arg(stored.displayString(), *why));
        return;
    }
    m_current = stored;
}

std::optional<QString> ShortcutCenter::change(const Shortcut& requested)
{
    const Shortcut shortcut{requested.keyCode, requested.modifiers & Shortcut::modifierMask};
    if (const auto why = refusal(shortcut)) return why;

    // Released first, so the combination in force can be applied again, and a failure can fall
    // back to registering the old one.
    stopRetrying();
    m_hotKey.reset();
    if (!registerShortcut(shortcut)) {
        setHeldElsewhere(!registerShortcut(m_current));
        return QStringLiteral("다른 앱이 이미 쓰고 있는 조합입니다.");
    }

    // Both keys or neither: a shortcut that is not saved is refused like any other, since the next
    // start would not have it (or would read half of it).
    DefaultsStore& defaults = Defaults::shared();
    const QJsonValue oldCode = defaults.value(kHotKeyCode);
    const bool toDefault = shortcut == Shortcut::defaultShortcut();
    constexpr auto drop = DefaultsStore::Unsaved::drop;
    const bool codeSaved =
        toDefault ? defaults.remove(kHotKeyCode, drop) : defaults.setValue(kHotKeyCode, qint64(shortcut.keyCode), drop);
    const bool modifiersSaved = codeSaved
        && (toDefault ? defaults.remove(kHotKeyModifiers, drop)
                      : defaults.setValue(kHotKeyModifiers, qint64(shortcut.modifiers), drop));
    if (!modifiersSaved) {
        if (codeSaved) defaults.setValue(kHotKeyCode, oldCode); // undefined removes it again
        m_hotKey.reset();
        setHeldElsewhere(!registerShortcut(m_current));
        return QStringLiteral("설정 파일에 저장하지 못했습니다.");
    }
    m_current = shortcut;
    Notifier::shared().post(didChange);
    return std::nullopt;
}

void ShortcutCenter::activate(std::function<void()> handler)
{
    m_handler = handler ? std::move(handler) : [] {};
    stopRetrying();
    m_hotKey.reset();
    // Another program's hold may be that of an instance that has just ended: the X server lets go
    // of its grab only once it has handled the closed connection. So the start tries again for a
    // while before it tells the user.
    if (!registerShortcut(m_current)) retryLater(retryCount);
}

HotKeyService::DesktopRoute ShortcutCenter::desktopRoute() const
{
    return Platform::isInstalled() ? Platform::shared().hotKeys->desktopRoute() : HotKeyService::DesktopRoute::none;
}

bool ShortcutCenter::gnomeShortcutAllowed() const
{
    return Defaults::shared().boolean(HotKeyService::gnomeShortcutConsentKey);
}

std::optional<QString> ShortcutCenter::allowGnomeShortcut(bool allowed)
{
    DefaultsStore& defaults = Defaults::shared();
    const bool saved = allowed ? defaults.setValue(HotKeyService::gnomeShortcutConsentKey, true, DefaultsStore::Unsaved::drop)
                               : defaults.remove(HotKeyService::gnomeShortcutConsentKey, DefaultsStore::Unsaved::drop);
    if (!saved) return QStringLiteral("설정 파일에 저장하지 못했습니다.");
    // Registered again: the desktop's binding follows the answer.
    stopRetrying();
    m_hotKey.reset();
    setHeldElsewhere(!registerShortcut(m_current));
    Notifier::shared().post(didChange);
    return std::nullopt;
}

void ShortcutCenter::suspend()
{
    stopRetrying();
    m_hotKey.reset();
}

void ShortcutCenter::resume()
{
    if (!m_hotKey) setHeldElsewhere(!registerShortcut(m_current));
}

void ShortcutCenter::retryLater(int left)
{
    m_retry = Platform::shared().clock->after(retryStepMs, [this, left] { retry(left); });
}

void ShortcutCenter::retry(int left)
{
    m_retry.reset(); // the action that called us goes with it: only arguments are used from here on
    if (m_hotKey) return;
    if (registerShortcut(m_current, true)) {
        Log::write(QStringLiteral("단축키 %1 등록: 다시 시도해 됨").arg(m_current.displayString()));
        Notifier::shared().post(didChange);
    } else if (left > 1) {
        retryLater(left - 1);
    } else {
        Log::write(QStringLiteral("단축키 %1을 다른 프로그램이 쓰고 있어 쓸 수 없음: 설정에서 바꿀 수 있음")
                       .arg(m_current.displayString()));
        setHeldElsewhere(true);
    }
}

void ShortcutCenter::stopRetrying()
{
    m_retry.reset();
    setHeldElsewhere(false);
}

void ShortcutCenter::setHeldElsewhere(bool held)
{
    if (held == m_heldElsewhere) return;
    m_heldElsewhere = held;
    Notifier::shared().post(didChange);
}

bool ShortcutCenter::registerShortcut(const Shortcut& shortcut, bool quiet)
{
    // The action looks the handler up at each press, so activate() may replace it later.
    auto hotKey = std::make_unique<HotKey>(shortcut, [this] { m_handler(); });
    if (hotKey->status() != HotKeyService::noErr) {
        if (!quiet)
            Log::write(QStringLiteral("단축키 %1 등록 실패: %2").arg(shortcut.displayString()).arg(hotKey->status()));
        return false;
    }
    m_hotKey = std::move(hotKey);
    return true;
}
