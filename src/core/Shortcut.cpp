#include "core/Shortcut.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "platform/Platform.h"

#include <QHash>

#include <limits>

namespace {

const QString kHotKeyCode = QStringLiteral("hotKeyCode");
const QString kHotKeyModifiers = QStringLiteral("hotKeyModifiers");

const QHash<quint32, QString>& specialKeys()
{
    static const QHash<quint32, QString> table{
        {49, QStringLiteral("Space")}, {36, QStringLiteral("↩")},   {48, QStringLiteral("⇥")},
        {51, QStringLiteral("⌫")},     {117, QStringLiteral("⌦")},  {53, QStringLiteral("⎋")},
        {123, QStringLiteral("←")},    {124, QStringLiteral("→")},  {126, QStringLiteral("↑")},
        {125, QStringLiteral("↓")},    {115, QStringLiteral("↖")},  {119, QStringLiteral("↘")},
        {116, QStringLiteral("⇞")},    {121, QStringLiteral("⇟")},  {122, QStringLiteral("F1")},
        {120, QStringLiteral("F2")},   {99, QStringLiteral("F3")},  {118, QStringLiteral("F4")},
        {96, QStringLiteral("F5")},    {97, QStringLiteral("F6")},  {98, QStringLiteral("F7")},
        {100, QStringLiteral("F8")},   {101, QStringLiteral("F9")}, {109, QStringLiteral("F10")},
        {103, QStringLiteral("F11")},  {111, QStringLiteral("F12")},
    };
    return table;
}

// The labels of the US layout's character keys by position. Names follow the key's position,
// as the shortcut itself does, whatever layout is active.
const QHash<quint32, QString>& ansiKeys()
{
    static const QHash<quint32, QString> table = [] {
        const char* const labels[] = {
            "A", "S", "D", "F", "H", "G", "Z", "X", "C", "V", nullptr, "B", "Q", "W", "E", "R",
            "Y", "T", "1", "2", "3", "4", "6", "5", "=", "9", "7", "-", "8", "0", "]", "O",
            "U", "[", "I", "P", nullptr, "L", "J", "'", "K", ";", "\\", ",", "/", "N", "M", ".",
            nullptr, nullptr, "`"};
        QHash<quint32, QString> t;
        for (quint32 code = 0; code < std::size(labels); ++code)
            if (labels[code]) t.insert(code, QString::fromLatin1(labels[code]));
        return t;
    }();
    return table;
}

bool isInputSourceSwitch(const Shortcut& s)
{
    using namespace ModifierFlag;
    return s.keyCode == KeyCode::space
        && (s.modifiers == control || s.modifiers == (control | option) || s.modifiers == command);
}

} // namespace

// ---------------------------------------------------------------- Shortcut

quint32 Shortcut::carbonModifiers() const
{
    quint32 bits = 0;
    if (modifiers & ModifierFlag::command) bits |= 0x100;
    if (modifiers & ModifierFlag::shift) bits |= 0x200;
    if (modifiers & ModifierFlag::option) bits |= 0x800;
    if (modifiers & ModifierFlag::control) bits |= 0x1000;
    return bits;
}

QString Shortcut::symbols(quint64 modifiers)
{
    QString s;
    if (modifiers & ModifierFlag::control) s += QStringLiteral("Ctrl+");
    if (modifiers & ModifierFlag::option) s += QStringLiteral("Alt+");
    if (modifiers & ModifierFlag::shift) s += QStringLiteral("Shift+");
    if (modifiers & ModifierFlag::command) s += QStringLiteral("Super+");
    return s;
}

QString Shortcut::keyName(quint32 keyCode)
{
    if (const auto it = specialKeys().constFind(keyCode); it != specialKeys().constEnd()) return *it;
    const auto it = ansiKeys().constFind(keyCode);
    if (it == ansiKeys().constEnd()) return QStringLiteral("#") + QString::number(keyCode);
    // Letters and digits are named as the layout in use prints them (Й on a Russian keyboard).
    const bool letterOrDigit = it->front().isLetterOrNumber();
    if (letterOrDigit && Platform::isInstalled()) {
        if (const auto layout = Platform::shared().keyboardLayout) {
            const auto label = layout->keyLabel(keyCode);
            if (!label || label->isEmpty()) return QStringLiteral("#") + QString::number(keyCode);
            return label->toUpper();
        }
    }
    return *it;
}

// ---------------------------------------------------------------- HotKey

std::map<quint32, HotKey*> HotKey::s_registry;
quint32 HotKey::s_nextId = 1;
std::weak_ptr<HotKeyService> HotKey::s_handlerService;

HotKey::HotKey(const Shortcut& shortcut, std::function<void()> handler)
    : m_service(Platform::shared().hotKeys)
    , m_handler(std::move(handler))
    , m_id(s_nextId++)
{
    installHandlerOnce(m_service);
    const auto registration = m_service->registerHotKey(shortcut.keyCode, shortcut.carbonModifiers(), m_id);
    m_status = registration.status;
    if (m_status == HotKeyService::noErr) {
        m_ref = registration.ref;
        s_registry[m_id] = this;
    }
}

HotKey::~HotKey()
{
    if (m_ref) m_service->unregisterHotKey(*m_ref);
    s_registry.erase(m_id);
}

void HotKey::installHandlerOnce(const std::shared_ptr<HotKeyService>& service)
{
    // Once per service: a process has one; tests install a fresh fake now and then.
    if (s_handlerService.lock() == service) return;
    s_handlerService = service;
    service->installEventHandler(&HotKey::dispatch);
}

void HotKey::dispatch(quint32 id)
{
    const auto it = s_registry.find(id);
    if (it == s_registry.end()) return;
    // A copy: the handler may release this very hot key.
    const auto handler = it->second->m_handler;
    if (handler) handler();
}

// ---------------------------------------------------------------- ShortcutCenter

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
