#pragma once

#include <QObject>
#include <QString>
#include <QStringView>

// How a picked word is written back. Stored under "format" by its case name.
namespace ReplacementFormat {
Q_NAMESPACE
enum class Format { hangulParenHanja, hanjaParenHangul, hanjaOnly };
Q_ENUM_NS(Format)

// 수도 + 首都 → 수도(首都), 首都(수도) or 首都.
QString example(Format format, QStringView hangul, QStringView hanja);
// The preview in a list's header: the example for 한글 and 漢字.
QString preview(Format format);
} // namespace ReplacementFormat
