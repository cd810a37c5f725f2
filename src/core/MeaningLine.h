#pragma once

#include "core/dictionary/HanjaDictionary.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringView>

// The second line of a dictionary row: nothing, the glosses of its characters, or a short
// meaning from the model. Shown in the panel only, never written into the text.
namespace MeaningLine {
Q_NAMESPACE
// Stored under "meaningStyle" by its case name.
enum class Style { none, gloss, summary };
Q_ENUM_NS(Style)

// The glosses of the spelling's characters joined with " · "; characters without one are left out.
QString glossJoin(QStringView hanja, HanjaDictionary& dictionary);
// A row's second line for the style; modelMeanings maps a spelling to the model's meaning.
QString text(const HanjaEntry& entry, Style style, const QHash<QString, QString>& modelMeanings,
             HanjaDictionary& dictionary);
} // namespace MeaningLine
