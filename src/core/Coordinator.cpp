#include "core/Coordinator.h"

#include "core/Defaults.h"
#include "core/Notifier.h"
#include "core/TextUtil.h"

namespace {
const QString kFormatKey = QStringLiteral("format");
const QString kMeaningStyleKey = QStringLiteral("meaningStyle");
const QString kSeparator = QStringLiteral(" · ");
} // namespace

QList<Coordinator::Format> Coordinator::allFormats()
{
    return {Format::hangulParenHanja, Format::hanjaParenHangul, Format::hanjaOnly};
}

QString Coordinator::rawValue(Format format)
{
    switch (format) {
    case Format::hangulParenHanja: return QStringLiteral("hangulParenHanja");
    case Format::hanjaParenHangul: return QStringLiteral("hanjaParenHangul");
    case Format::hanjaOnly: return QStringLiteral("hanjaOnly");
    }
    return QString();
}

std::optional<Coordinator::Format> Coordinator::formatFromRawValue(const QString& raw)
{
    for (Format f : allFormats())
        if (rawValue(f) == raw) return f;
    return std::nullopt;
}

QList<Coordinator::MeaningStyle> Coordinator::allMeaningStyles()
{
    return {MeaningStyle::none, MeaningStyle::gloss, MeaningStyle::summary};
}

QString Coordinator::rawValue(MeaningStyle style)
{
    switch (style) {
    case MeaningStyle::none: return QStringLiteral("none");
    case MeaningStyle::gloss: return QStringLiteral("gloss");
    case MeaningStyle::summary: return QStringLiteral("summary");
    }
    return QString();
}

std::optional<Coordinator::MeaningStyle> Coordinator::meaningStyleFromRawValue(const QString& raw)
{
    for (MeaningStyle s : allMeaningStyles())
        if (rawValue(s) == raw) return s;
    return std::nullopt;
}

QString Coordinator::example(Format format, QStringView hangul, QStringView hanja)
{
    switch (format) {
    case Format::hangulParenHanja: return QString().append(hangul).append(u'(').append(hanja).append(u')');
    case Format::hanjaParenHangul: return QString().append(hanja).append(u'(').append(hangul).append(u')');
    case Format::hanjaOnly: return hanja.toString();
    }
    return QString();
}

QString Coordinator::formatPreview(Format format)
{
    return example(format, u"한글", u"漢字");
}

Coordinator::Format Coordinator::format()
{
    return formatFromRawValue(Defaults::shared().string(kFormatKey)).value_or(Format::hangulParenHanja);
}

void Coordinator::setFormat(Format format)
{
    Defaults::shared().setValue(kFormatKey, rawValue(format));
    Notifier::shared().post(Notifications::formatDidChange);
}

Coordinator::MeaningStyle Coordinator::meaningStyle()
{
    return meaningStyleFromRawValue(Defaults::shared().string(kMeaningStyleKey)).value_or(MeaningStyle::gloss);
}

void Coordinator::setMeaningStyle(MeaningStyle style)
{
    Defaults::shared().setValue(kMeaningStyleKey, rawValue(style));
}

QString Coordinator::glossJoin(QStringView hanja, HanjaDictionary& dictionary)
{
    dictionary.loadIfNeeded();
    QStringList glosses;
    const QList<qsizetype> bounds = TextUtil::graphemeBoundaries(hanja);
    for (qsizetype i = 0; i + 1 < bounds.size(); ++i) {
        const QString gloss = dictionary.charGloss(hanja.sliced(bounds[i], bounds[i + 1] - bounds[i]));
        if (!gloss.isEmpty()) glosses.append(gloss);
    }
    return glosses.join(kSeparator);
}

QString Coordinator::meaningText(const HanjaEntry& entry, MeaningStyle style,
                                 const QHash<QString, QString>& modelMeanings, HanjaDictionary& dictionary)
{
    switch (style) {
    case MeaningStyle::none:
        return QString();
    case MeaningStyle::gloss: {
        const QString joined = glossJoin(entry.hanja(), dictionary);
        return joined.isEmpty() ? entry.meaning().toString() : joined;
    }
    case MeaningStyle::summary: {
        const QString model = modelMeanings.value(entry.hanja().toString());
        if (!model.isEmpty()) return model;
        if (!entry.meaning().isEmpty()) return entry.meaning().toString();
        return glossJoin(entry.hanja(), dictionary);
    }
    }
    return QString();
}
