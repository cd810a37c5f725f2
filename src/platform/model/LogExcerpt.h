#pragma once

#include <QByteArray>
#include <QString>

// A model server's text as it goes into a log line: one line, at most max characters.
inline QString logExcerpt(const QByteArray& bytes, qsizetype max = 200)
{
    QString text = QString::fromUtf8(bytes).simplified();
    if (text.size() > max) text = text.left(max) + QStringLiteral("…");
    return text;
}
