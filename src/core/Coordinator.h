#pragma once

#include "core/HanjaDictionary.h"

#include <QHash>
#include <QList>
#include <QString>

#include <optional>

class Coordinator {
public:
    // How a picked word is written back.
    enum class Format { hangulParenHanja, hanjaParenHangul, hanjaOnly };
    // What a candidate row shows under its Hanja.
    enum class MeaningStyle { none, gloss, summary };

    static QList<Format> allFormats();
    static QString rawValue(Format format);
    static std::optional<Format> formatFromRawValue(const QString& raw);
    static QList<MeaningStyle> allMeaningStyles();
    static QString rawValue(MeaningStyle style);
    static std::optional<MeaningStyle> meaningStyleFromRawValue(const QString& raw);

    // 수도 + 首都 → 수도(首都), 首都(수도) or 首都.
    static QString example(Format format, QStringView hangul, QStringView hanja);
    // The header's preview: the example for 한글 and 漢字.
    static QString formatPreview(Format format);

    // Stored under "format" and "meaningStyle"; read at each use. Writing the format posts
    // "SorelwickFormatDidChange", also when the value did not change.
    static Format format();
    static void setFormat(Format format);
    static MeaningStyle meaningStyle();
    static void setMeaningStyle(MeaningStyle style);

    // The glosses of the spelling's characters joined with " · "; characters without one are left out.
    static QString glossJoin(QStringView hanja, HanjaDictionary& dictionary);
    // A row's second line for the style; modelMeanings maps a spelling to the model's meaning.
    static QString meaningText(const HanjaEntry& entry, MeaningStyle style,
                               const QHash<QString, QString>& modelMeanings, HanjaDictionary& dictionary);
};
