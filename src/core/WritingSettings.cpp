#include "core/WritingSettings.h"

#include "base/Defaults.h"
#include "base/Notifier.h"
#include "core/EnumKeys.h"

namespace WritingSettings {

ReplacementFormat::Format format()
{
    return EnumKeys::fromKey<ReplacementFormat::Format>(Defaults::shared().string(formatKey))
        .value_or(ReplacementFormat::Format::hangulParenHanja);
}

void setFormat(ReplacementFormat::Format format)
{
    Defaults::shared().setValue(formatKey, EnumKeys::key(format));
    Notifier::shared().post(Notifications::formatDidChange);
}

MeaningLine::Style meaningStyle()
{
    return EnumKeys::fromKey<MeaningLine::Style>(Defaults::shared().string(meaningStyleKey))
        .value_or(MeaningLine::Style::gloss);
}

void setMeaningStyle(MeaningLine::Style style) { Defaults::shared().setValue(meaningStyleKey, EnumKeys::key(style)); }

} // namespace WritingSettings
