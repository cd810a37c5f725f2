#include "core/WritingSettings.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "base/Notifier.h"
#include "core/EnumKeys.h"

#include <QSet>

namespace {

// A stored value that names no choice (a hand-edited or newer file) reads as the default, said once.
template <typename E>
E stored(const QString& key, E fallback)
{
    const QJsonValue value = Defaults::shared().value(key);
    if (value.isUndefined()) return fallback;
    if (const std::optional<E> e = value.isString() ? EnumKeys::fromKey<E>(value.toString()) : std::nullopt) return *e;
    static QSet<QString> told;
    const QString shown = value.isString() ? value.toString() : value.toVariant().toString();
    if (!told.contains(key + shown)) {
        told.insert(key + shown);
        Log::write(QStringLiteral("설정 %1에 알 수 없는 값 \"%2\": 기본값을 씀").arg(key, shown));
    }
    return fallback;
}

} // namespace

namespace WritingSettings {

ReplacementFormat::Format format() { return stored(formatKey, ReplacementFormat::Format::hangulParenHanja); }

bool setFormat(ReplacementFormat::Format format)
{
    const bool ok = Defaults::shared().setValue(formatKey, EnumKeys::key(format));
    Notifier::shared().post(Notifications::formatDidChange);
    return ok;
}

MeaningLine::Style meaningStyle() { return stored(meaningStyleKey, MeaningLine::Style::gloss); }

bool setMeaningStyle(MeaningLine::Style style)
{
    return Defaults::shared().setValue(meaningStyleKey, EnumKeys::key(style));
}

} // namespace WritingSettings
