// Reading the compound parts: a table of some ten thousand lines, read plainly, line by line.
#include "core/dictionary/CompoundParts.h"

#include "base/TextUtil.h"
#include "core/dictionary/TableLines.h"

#include <limits>

qsizetype CompoundParts::read(QByteArrayView text)
{
    QHash<QString, double> pairs, words;
    double unit = std::numeric_limits<double>::infinity();
    const qsizetype invalid = TableLines::read(text, [&](const QStringList& fields) {
        bool ok = false;
        const double uses = fields.size() == 3 ? fields[2].toDouble(&ok) : 0;
        if (!ok || !(uses > 0) || uses == std::numeric_limits<double>::infinity() || fields[0].isEmpty()
            || fields[1].isEmpty())
            return;
        const QString hangul = TextUtil::nfc(fields[0]);
        pairs[hangul + QLatin1Char('\t') + TextUtil::nfc(fields[1])] += uses;
        words[hangul] += uses;
        unit = std::min(unit, uses);
    });
    if (invalid) return invalid;
    m_pairs = std::move(pairs);
    m_syllables.clear();
    for (auto it = words.cbegin(); it != words.cend(); ++it)
        if (it.key().size() == 1) m_syllables.insert(it.key().front().unicode(), it.value());
    m_words = std::move(words);
    m_unit = m_pairs.isEmpty() ? 1 : unit;
    return 0;
}

double CompoundParts::uses(QStringView hangul, QStringView hanja) const
{
    return m_pairs.value(hangul.toString() + QLatin1Char('\t') + hanja.toString());
}
