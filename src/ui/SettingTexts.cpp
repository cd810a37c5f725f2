#include "ui/SettingTexts.h"

namespace SettingTexts {

QString formatTitle(Format format)
{
    switch (format) {
    case Format::hangulParenHanja: return QStringLiteral("한글(漢字)");
    case Format::hanjaParenHangul: return QStringLiteral("漢字(한글)");
    case Format::hanjaOnly: return QStringLiteral("漢字만");
    }
    return QString();
}

QString formatDescription(Format format)
{
    switch (format) {
    case Format::hangulParenHanja: return QStringLiteral("한글을 먼저, 한자를 괄호로");
    case Format::hanjaParenHangul: return QStringLiteral("한자를 먼저, 한글을 괄호로");
    case Format::hanjaOnly: return QStringLiteral("한자만, 괄호 없이");
    }
    return QString();
}

QString formatExample(Format format) { return ReplacementFormat::example(format, u"수도", u"首都"); }

QString meaningTitle(MeaningStyle style)
{
    switch (style) {
    case MeaningStyle::none: return QStringLiteral("뜻 없음");
    case MeaningStyle::gloss: return QStringLiteral("글자 훈음");
    case MeaningStyle::summary: return QStringLiteral("한 줄 요약");
    }
    return QString();
}

QString meaningDescription(MeaningStyle style)
{
    switch (style) {
    case MeaningStyle::none: return QStringLiteral("한자만 보여줌");
    case MeaningStyle::gloss: return QStringLiteral("글자별 훈음 조합");
    case MeaningStyle::summary: return QStringLiteral("문맥에 맞춘 한 줄 뜻");
    }
    return QString();
}

QString meaningPreview(MeaningStyle style)
{
    switch (style) {
    case MeaningStyle::none: return QStringLiteral("한자만");
    case MeaningStyle::gloss: return QStringLiteral("머리 수 · 도읍 도");
    case MeaningStyle::summary: return QStringLiteral("나라의 중앙 도시");
    }
    return QString();
}

} // namespace SettingTexts
