// Reading the compound parts: a table of some ten thousand lines, read plainly, line by line.
#include "core/dictionary/CompoundParts.h"

#include "base/TextUtil.h"
#include "core/dictionary/TableLines.h"

#include <algorithm>
#include <limits>

qsizetype CompoundParts::read(QByteArrayView text)
{
    QHash<QString, QList<Spelling>> spellings;
    QHash<QString, double> words;
    qsizetype size = 0;
    double unit = std::numeric_limits<double>::infinity();
    const qsizetype invalid = TableLines::read(text, [&](const QStringList& fields) {
        bool ok = false;
        const double uses = fields.size() == 3 || fields.size() == 4 ? fields[2].toDouble(&ok) : 0;
        if (!ok || !(uses > 0) || uses == std::numeric_limits<double>::infinity() || fields[0].isEmpty()
            || fields[1].isEmpty())
            return;
        bool told = false;
        const double last = fields.size() == 4 ? fields[3].toDouble(&told) : 0;
        told = told && last >= 0 && last <= uses;
        const QString hangul = TextUtil::nfc(fields[0]), hanja = TextUtil::nfc(fields[1]);
        QList<Spelling>& list = spellings[hangul];
        auto pair = std::find_if(list.begin(), list.end(), [&](const Spelling& x) { return x.hanja == hanja; });
        if (pair == list.end()) {
            list.append({hanja, 0, 0});
            pair = list.end() - 1;
            ++size;
        }
        pair->inside += told ? uses - last : uses;
        pair->last += told ? last : uses;
        words[hangul] += uses;
        unit = std::min(unit, uses);
    });
    if (invalid) return invalid;
    m_spellings = std::move(spellings);
    m_size = size;
    m_syllables.clear();
    for (auto it = words.cbegin(); it != words.cend(); ++it)
        if (it.key().size() == 1) m_syllables.insert(it.key().front().unicode(), it.value());
    m_words = std::move(words);
    m_unit = m_spellings.isEmpty() ? 1 : unit;
    return 0;
}
