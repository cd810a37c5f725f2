#include "base/TextUtil.h"

#include <QTextBoundaryFinder>

namespace TextUtil {
bool isSimple(QStringView text)
{
    for (QChar c : text)
        if (!isSimpleUnit(c.unicode())) return false;
    return true;
}

QString nfc(const QString& text)
{
    if (isSimple(text)) return text;
    return text.normalized(QString::NormalizationForm_C);
}

QList<qsizetype> graphemeBoundaries(QStringView text)
{
    QList<qsizetype> bounds;
    if (isSimple(text)) {
        bounds.reserve(text.size() + 1);
        for (qsizetype i = 0; i <= text.size(); ++i) bounds.append(i);
        return bounds;
    }
    bounds.append(0);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text.data(), text.size());
    while (finder.toNextBoundary() > 0) bounds.append(finder.position());
    if (bounds.last() != text.size()) bounds.append(text.size());
    return bounds;
}

qsizetype characterCount(QStringView text)
{
    if (isSimple(text)) return text.size();
    return graphemeBoundaries(text).size() - 1;
}

QString characterPrefix(const QString& text, qsizetype count)
{
    if (count <= 0) return QString();
    if (isSimple(text)) return text.left(count);
    const QList<qsizetype> bounds = graphemeBoundaries(text);
    if (count >= bounds.size() - 1) return text;
    return text.left(bounds[count]);
}

QString trimmed(const QString& text) { return text.trimmed(); }

QString displayCut(const QString& text)
{
    if (characterCount(text) < 25) return text;
    return characterPrefix(text, 24) + QChar(0x2026);
}

} // namespace TextUtil
