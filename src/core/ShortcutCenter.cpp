#include "core/ShortcutCenter.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "core/HotKey.h"

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
    m_current = Shortcut{quint32(*code), quint64(*modifiers) & Shortcut::modifierMask};
}

std::optional<QString> ShortcutCenter::change(const Shortcut& requested)
{
    const Shortcut shortcut{requested.keyCode, requested.modifiers & Shortcut::modifierMask};
    const bool withControlOrOption = shortcut.modifiers & (ModifierFlag::control | ModifierFlag::option);
    if (isInputSourceSwitch(shortcut)) return QStringLiteral("입력 소스 전환 단축키와 겹칩니다.");
    if (!withControlOrOption) {
        if (shortcut.modifiers & ModifierFlag::command)
            return QStringLiteral("Super만 쓰는 조합은 데스크톱 단축키와 겹칩니다. Ctrl이나 Alt를 함께 눌러 주세요.");
        return QStringLiteral("Ctrl이나 Alt를 함께 눌러 주세요.");
    }

    // Released first, so the combination in force can be applied again, and a failure can fall
    // back to registering the old one.
    m_hotKey.reset();
    if (!registerShortcut(shortcut)) {
        registerShortcut(m_current);
        return QStringLiteral("다른 앱이 이미 쓰고 있는 조합입니다.");
    }

    m_current = shortcut;
    DefaultsStore& defaults = Defaults::shared();
    if (shortcut == Shortcut::defaultShortcut()) {
        defaults.remove(kHotKeyCode);
        defaults.remove(kHotKeyModifiers);
    } else {
        defaults.setValue(kHotKeyCode, qint64(shortcut.keyCode));
        defaults.setValue(kHotKeyModifiers, qint64(shortcut.modifiers));
    }
    Notifier::shared().post(didChange);
    return std::nullopt;
}

void ShortcutCenter::activate(std::function<void()> handler)
{
    m_handler = handler ? std::move(handler) : [] {};
    m_hotKey.reset();
    registerShortcut(m_current);
}

void ShortcutCenter::suspend() { m_hotKey.reset(); }

void ShortcutCenter::resume()
{
    if (!m_hotKey) registerShortcut(m_current);
}

bool ShortcutCenter::registerShortcut(const Shortcut& shortcut)
{
    // The action looks the handler up at each press, so activate() may replace it later.
    auto hotKey = std::make_unique<HotKey>(shortcut, [this] { m_handler(); });
    if (hotKey->status() != HotKeyService::noErr) {
        Log::write(QStringLiteral("단축키 %1 등록 실패: %2").arg(shortcut.displayString()).arg(hotKey->status()));
        return false;
    }
    m_hotKey = std::move(hotKey);
    return true;
}
