#pragma once

#include "core/MeaningLine.h"
#include "core/ReplacementFormat.h"

#include <QString>

// The two settings that say how rows are written: "format" and "meaningStyle" in the defaults,
// read at each use (never cached). An absent or unknown value reads as the default and is left
// as it is.
namespace WritingSettings {
inline const QString formatKey = QStringLiteral("format");
inline const QString meaningStyleKey = QStringLiteral("meaningStyle");

// The setters' choice is in force at once; false, with settingsDidFailToSave posted, when it
// could not be saved.

// hangulParenHanja unless set.
ReplacementFormat::Format format();
// Posts "SorelwickFormatDidChange", also when the value did not change.
bool setFormat(ReplacementFormat::Format format);
// gloss unless set.
MeaningLine::Style meaningStyle();
bool setMeaningStyle(MeaningLine::Style style);
} // namespace WritingSettings
