#pragma once

// Dictionary words as parts of the compounds the dictionary lacks (compound_parts.tsv: Hangul
// word, Hanja spelling, estimated uses as such a part, and of them the uses as the last part):
// which spelling a part takes in a compound (가림군 → 嘉林 + 郡; the last syllable is mostly a
// suffix: 국상시 → 國喪 + 時), and how often a word, one-syllable suffixes included, is a part at
// all. Read on the first compound asked for, not with the dictionary.

#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

class CompoundParts {
public:
    // Reads hangul<TAB>hanja<TAB>uses[<TAB>last] lines; '#' lines are comments, a CR before LF is
    // dropped, lines without a positive number of uses are skipped; without a valid `last` (0 to
    // uses) the line does not tell where the part stood, and counts as much at either place.
    // Returns the number (from 1) of the first line that is not valid UTF-8, or 0.
    qsizetype read(QByteArrayView text);

    bool isEmpty() const { return m_spellings.isEmpty(); }
    qsizetype size() const { return m_size; }
    struct Spelling {
        QString hanja;
        double inside = 0, last = 0; // uses before the last part, and as the last part
    };
    // The word's spellings seen as parts, with their uses; none when never seen.
    QList<Spelling> spellings(QStringView hangul) const { return m_spellings.value(hangul.toString()); }
    // Uses of the word as a part, whatever its spelling.
    double uses(QStringView hangul) const
    {
        // One-syllable words, asked most often, without building a key.
        return hangul.size() == 1 ? m_syllables.value(hangul.front().unicode()) : m_words.value(hangul.toString());
    }
    // The smallest count of the table: what the least evidence it lists is worth.
    double unit() const { return m_unit; }

private:
    QHash<QString, QList<Spelling>> m_spellings;
    QHash<QString, double> m_words;
    QHash<char16_t, double> m_syllables;
    double m_unit = 1;
    qsizetype m_size = 0;
};
