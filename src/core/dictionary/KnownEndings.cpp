// Reading the known endings: a small file, read plainly, line by line.
#include "core/dictionary/KnownEndings.h"

#include "base/TextUtil.h"
#include "core/dictionary/TableLines.h"

#include <cmath>

qsizetype KnownEndings::read(QByteArrayView text)
{
    QHash<QString, double> endings;
    QSet<QChar> firsts;
    QSet<QString> wordEnds;
    double bare = 0;
    const qsizetype invalid = TableLines::read(text, [&](const QStringList& fields) {
        const QString rest = TextUtil::nfc(fields[0]);
        bool ok = false;
        double uses = fields.size() > 1 ? fields[1].toDouble(&ok) : 0;
        if (!ok || !(uses >= 1) || !std::isfinite(uses)) uses = 1;
        if (rest.isEmpty()) {
            if (fields.size() > 1) bare += uses; // a blank line is no bare noun
            return;
        }
        endings[rest] += uses;
        firsts.insert(rest.front());
        if (fields.size() > 3 && fields[3] == QLatin1String("1")) wordEnds.insert(rest);
    });
    if (invalid) return invalid;
    double total = 0, most = 0;
    for (double uses : std::as_const(endings)) {
        total += uses;
        most = std::max(most, uses);
    }
    if (bare == 0) bare = most;
    m_endings = std::move(endings);
    m_firsts = std::move(firsts);
    m_wordEnds = std::move(wordEnds);
    m_total = total + bare;
    m_bare = bare;
    return 0;
}
