#pragma once

#include "core/MeaningLine.h"
#include "core/ReplacementFormat.h"

#include <QString>

// The words the tray menu and the settings window use for the formats and the meaning styles.
namespace SettingTexts {

using Format = ReplacementFormat::Format;
using MeaningStyle = MeaningLine::Style;

// "한글(漢字)", "漢字(한글)", "漢字만".
QString formatTitle(Format format);
QString formatDescription(Format format);
// The format applied to 수도 and 首都: 수도(首都), 首都(수도), 首都.
QString formatExample(Format format);

QString meaningTitle(MeaningStyle style);
QString meaningDescription(MeaningStyle style);
// What a row's second line shows for 首都 in that style.
QString meaningPreview(MeaningStyle style);

} // namespace SettingTexts
