#pragma once

// The lines of a small tab-separated table, read plainly (the big ones go through Utf8Scan): LF
// or CRLF ends a line, empty lines and lines that start with '#' are skipped, and every other
// line is decoded as UTF-8 and split on TABs.

#include <QByteArrayView>
#include <QStringDecoder>
#include <QStringList>

namespace TableLines {

// Calls take(fields) for each line that counts. Returns the number (from 1) of the first line
// that is not valid UTF-8, where reading stops, or 0 when every line was read.
template <typename Take>
qsizetype read(QByteArrayView text, Take take)
{
    qsizetype number = 0;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0) end = text.size();
        QByteArrayView line = text.sliced(start, end - start);
        start = end + 1;
        ++number;
        if (line.endsWith('\r')) line.chop(1);
        if (line.isEmpty() || line.startsWith('#')) continue;
        QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString decoded = decode(line);
        if (decode.hasError()) return number;
        take(decoded.split(QLatin1Char('\t')));
    }
    return 0;
}

} // namespace TableLines
