// Shortcut values: whatever the defaults file holds under "hotKeyCode" and "hotKeyModifiers", and
// whatever combination a user records. Start-up reads a usable shortcut or the default one, a
// change is refused exactly by the rules, and what a change stores reads back as it was.
#include "FuzzSupport.h"

#include "base/Defaults.h"
#include "core/ShortcutCenter.h"
#include "support/FakePlatform.h"
#include "support/MemoryDefaultsStore.h"

#include <QJsonArray>

#include <cmath>
#include <cstring>
#include <memory>

namespace {

const QString kCode = QStringLiteral("hotKeyCode");
const QString kModifiers = QStringLiteral("hotKeyModifiers");

struct Reader {
    const uint8_t* data;
    size_t size;
    uint8_t byte() { return size ? (--size, *data++) : 0; }
    quint64 word(int n)
    {
        quint64 v = 0;
        for (int i = 0; i < n; ++i) v = v << 8 | byte();
        return v;
    }
    // A stored value of any JSON type; absent as std::nullopt.
    std::optional<QJsonValue> value()
    {
        switch (byte() % 8) {
        case 0: return std::nullopt;
        case 1: return QJsonValue(double(qint64(word(2)) - 200)); // small whole numbers, some negative
        case 2: {
            double d;
            const quint64 bits = word(8);
            std::memcpy(&d, &bits, sizeof d);
            if (!std::isfinite(d)) d = 0.5; // JSON has no NaN or infinity
            return QJsonValue(d);
        }
        case 3: return QJsonValue(double(word(4)));
        case 4: return QJsonValue(QString::number(word(1)));
        case 5: return QJsonValue(bool(byte() & 1));
        case 6: return QJsonValue(QJsonValue::Null);
        default: return QJsonValue(QJsonArray{double(word(1))});
        }
    }
};

// A whole number that a double holds exactly, in [low, high].
std::optional<qint64> whole(const QJsonValue& v, double low, double high)
{
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (d != std::floor(d) || d < low || d > high) return std::nullopt;
    return qint64(d);
}

bool refused(const Shortcut& s)
{
    using namespace ModifierFlag;
    const quint64 m = s.modifiers & Shortcut::modifierMask;
    if (!(m & (control | option))) return true;
    return s.keyCode == KeyCode::space && (m == control || m == (control | option));
}

// Start-up: the stored pair when it is usable and one the recorder takes, else the default.
Shortcut expectedAtStart(const std::optional<QJsonValue>& code, const std::optional<QJsonValue>& modifiers)
{
    if (!code) return Shortcut::defaultShortcut();
    const auto c = whole(*code, 0, 4294967295.0);
    const auto m = modifiers ? whole(*modifiers, 0, 9007199254740992.0) : std::optional<qint64>(0);
    if (!c || !m) return Shortcut::defaultShortcut();
    const Shortcut stored{quint32(*c), quint64(*m) & Shortcut::modifierMask};
    // A pair the recorder would refuse is refused when read too.
    return refused(stored) ? Shortcut::defaultShortcut() : stored;
}

QString describe(const Shortcut& s) { return QStringLiteral("key %1 modifiers 0x%2").arg(s.keyCode).arg(s.modifiers, 0, 16); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::shared_ptr<FakePlatform> platform = FakePlatform::install();
    Reader in{data, size};
    const std::optional<QJsonValue> code = in.value();
    const std::optional<QJsonValue> modifiers = in.value();
    const Shortcut requested{quint32(in.word(4)), in.word(8)};
    const bool takenByOthers = in.byte() & 1;

    auto store = std::make_shared<MemoryDefaultsStore>();
    if (code) store->setValue(kCode, *code);
    if (modifiers) store->setValue(kModifiers, *modifiers);
    Defaults::setShared(store);
    platform->hotKeys->takenByOthers.clear();

    const QString stored = QStringLiteral("stored code %1, modifiers %2")
                               .arg(code ? code->toVariant().toString() : QStringLiteral("absent"),
                                    modifiers ? modifiers->toVariant().toString() : QStringLiteral("absent"));
    ShortcutCenter center;
    const Shortcut start = center.current();
    FUZZ_CHECK(start == expectedAtStart(code, modifiers), stored + QStringLiteral(" read as ") + describe(start));

    center.activate([] {});
    const Shortcut masked{requested.keyCode, requested.modifiers & Shortcut::modifierMask};
    if (takenByOthers) platform->hotKeys->takenByOthers.insert({masked.keyCode, masked.carbonModifiers()});
    const std::optional<QString> message = center.change(requested);
    const QString detail = stored + QStringLiteral(", change to ") + describe(requested);
    if (refused(requested)) {
        FUZZ_CHECK(message.has_value(), detail);
        FUZZ_CHECK(center.current() == start, detail);
        return 0;
    }
    if (takenByOthers && !(masked == start)) {
        // The old shortcut keeps working; nothing is stored.
        FUZZ_CHECK(message.has_value(), detail);
        FUZZ_CHECK(center.current() == start && center.isRegistered(), detail);
        FUZZ_CHECK(ShortcutCenter().current() == expectedAtStart(code, modifiers), detail);
        return 0;
    }
    if (takenByOthers) return 0; // the combination in force cannot be taken by others meanwhile
    FUZZ_CHECK(!message.has_value(), detail + QStringLiteral(": ") + message.value_or(QString()));
    FUZZ_CHECK(center.current() == masked && center.isRegistered(), detail);
    // What was stored reads back as the same shortcut at the next start.
    FUZZ_CHECK(ShortcutCenter().current() == masked, detail);
    FUZZ_CHECK(store->contains(kCode) == !(masked == Shortcut::defaultShortcut()), detail);
    return 0;
}
