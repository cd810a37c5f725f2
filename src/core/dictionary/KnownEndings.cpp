// Reading the known endings: a small file, read plainly, line by line.
#include "core/dictionary/KnownEndings.h"

#include "base/TextUtil.h"

#include <QStringDecoder>

qsizetype KnownEndings::read(QByteArrayView text)
{
    QSet<QString> endings;
    QSet<QChar> firsts;
    qsizetype number = 0;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0) end = text.size();
        QByteArrayView line = text.sliced(start, end - start);
        start = end + 1;
        ++number;
        if (line.endsWith('\r')) line.chop(1);
        if (line.isEmpty() || line.startsWith('#')) continue;
        const qsizetype tab = line.indexOf('\t');
        QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString rest = TextUtil::nfc(decode(tab < 0 ? line : line.first(tab)));
        if (decode.hasError()) return number;
        if (rest.isEmpty()) continue;
        endings.insert(rest);
        firsts.insert(rest.front());
    }
    m_endings = std::move(endings);
    m_firsts = std::move(firsts);
    return 0;
}
