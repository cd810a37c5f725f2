#pragma once

// The rests that follow nouns in running text (known_endings.tsv: particles, 하다/되다 forms,
// 적/적인, copula forms ...), for the split: a rest that is one of them is an ending for certain,
// and a rest whose first syllable begins none of them is no ending at all. A few hundred short
// strings in a hash set, with their first characters in another.

#include <QByteArrayView>
#include <QSet>
#include <QString>
#include <QStringView>

class KnownEndings {
public:
    // Reads rest<TAB>... lines; '#' lines are comments, a CR before LF is dropped. Returns the
    // number (from 1) of the first line that is not valid UTF-8, or 0.
    qsizetype read(QByteArrayView text);

    bool isEmpty() const { return m_endings.isEmpty(); }
    qsizetype size() const { return m_endings.size(); }
    bool isEnding(QStringView rest) const { return m_endings.contains(rest.toString()); }
    // Whether rest may begin with an ending: its first character begins a known one.
    bool mayBeginEnding(QStringView rest) const { return !rest.isEmpty() && m_firsts.contains(rest.front()); }

private:
    QSet<QString> m_endings;
    QSet<QChar> m_firsts;
};
