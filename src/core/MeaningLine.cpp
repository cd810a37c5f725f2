#include "core/MeaningLine.h"

#include "base/TextUtil.h"

#include <QStringList>

namespace MeaningLine {

QString glossJoin(QStringView hanja, HanjaDictionary& dictionary)
{
    dictionary.loadIfNeeded();
    QStringList glosses;
    const QList<qsizetype> bounds = TextUtil::graphemeBoundaries(hanja);
    for (qsizetype i = 0; i + 1 < bounds.size(); ++i) {
        const QString gloss = dictionary.charGloss(hanja.sliced(bounds[i], bounds[i + 1] - bounds[i]));
        if (!gloss.isEmpty()) glosses.append(gloss);
    }
    return glosses.join(QStringLiteral(" · "));
}

QString text(const HanjaEntry& entry, Style style, const QHash<QString, QString>& modelMeanings,
             HanjaDictionary& dictionary)
{
    switch (style) {
    case Style::none:
        return QString();
    case Style::gloss: {
        const QString joined = glossJoin(entry.hanja(), dictionary);
        return joined.isEmpty() ? entry.meaning().toString() : joined;
    }
    case Style::summary: {
        const QString model = modelMeanings.value(entry.hanja().toString());
        if (!model.isEmpty()) return model;
        if (!entry.meaning().isEmpty()) return entry.meaning().toString();
        return glossJoin(entry.hanja(), dictionary);
    }
    }
    return QString();
}

} // namespace MeaningLine
