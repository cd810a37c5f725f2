#pragma once

// The rests that follow nouns in running text (known_endings.tsv: particles, 하다/되다 forms,
// 적/적인, copula forms ...), for the split: a rest that is one of them is an ending for certain,
// and a rest whose first syllable begins none of them is no ending at all; how often each follows
// a noun weighs an ending against a word part (군은: 군 郡 + 은, not the rest 군은); a word end is
// mostly a longer word's last syllable and its ending (도는: 島 + 는). A few hundred short strings in
// a hash map, with their first characters in a set.

#include <QByteArrayView>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringView>

class KnownEndings {
public:
    // Reads rest<TAB>uses<TAB>nouns<TAB>word end lines; '#' lines are comments, a CR before LF is
    // dropped; a rest without a positive count of uses counts as used once; an empty rest gives the
    // uses of nouns with nothing after them; a rest is a word end only where the fourth field is 1.
    // Returns the number (from 1) of the first line that is not valid UTF-8, or 0.
    qsizetype read(QByteArrayView text);

    bool isEmpty() const { return m_endings.isEmpty(); }
    qsizetype size() const { return m_endings.size(); }
    bool isEnding(QStringView rest) const { return m_endings.contains(rest.toString()); }
    // How often the rest follows a noun; 0 for one that is no known ending. The empty rest, when
    // the file does not say, counts as the most used ending.
    double uses(QStringView rest) const
    {
        if (rest.isEmpty()) return m_bare;
        // A rest whose first character begins no ending is none, and needs no key built.
        return mayBeginEnding(rest) ? m_endings.value(rest.toString()) : 0;
    }
    // The uses of all of them, the empty rest included.
    double totalUses() const { return m_total; }
    // Whether the rest is mostly a longer word's last syllable and the ending after it.
    bool isWordEnd(QStringView rest) const
    {
        return !m_wordEnds.isEmpty() && mayBeginEnding(rest) && m_wordEnds.contains(rest.toString());
    }
    // Whether rest may begin with an ending: its first character begins a known one.
    bool mayBeginEnding(QStringView rest) const { return !rest.isEmpty() && m_firsts.contains(rest.front()); }

private:
    QHash<QString, double> m_endings;
    QSet<QString> m_wordEnds;
    double m_total = 0;
    double m_bare = 0;
    QSet<QChar> m_firsts;
};
