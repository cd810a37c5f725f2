#include "core/ReplacementFormat.h"

namespace ReplacementFormat {

QString example(Format format, QStringView hangul, QStringView hanja)
{
    switch (format) {
    case Format::hangulParenHanja: return QString().append(hangul).append(u'(').append(hanja).append(u')');
    case Format::hanjaParenHangul: return QString().append(hanja).append(u'(').append(hangul).append(u')');
    case Format::hanjaOnly: return hanja.toString();
    }
    return QString();
}

QString preview(Format format) { return example(format, u"한글", u"漢字"); }

} // namespace ReplacementFormat
