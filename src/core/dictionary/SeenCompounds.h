#pragma once

// Compounds the dictionary lacks as writers spelled them (seen_compounds.tsv: Hangul word of three
// syllables or more, Hanja spelling, times seen): 토지거래허가구역 土地去來許可區域, 이순신 李舜臣. A word
// that also reads as its longest dictionary word and an ending (정신보다: 정신 + 보다) carries how often
// running text uses it, per million uses of that dictionary word, so that the two readings can be weighed.
// About a hundred thousand lines, kept as the file's bytes with a sorted array of where each line
// stands, so a lookup is a binary search and nothing is decoded until a word is found.

#include <QByteArray>
#include <QByteArrayView>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

class SeenCompounds {
public:
    // A line that was not read, and why.
    struct Skipped {
        qsizetype line = 0; // from 1
        QString reason;
        bool operator==(const Skipped&) const = default;
    };
    // Reads hangul<TAB>hanja<TAB>count[<TAB>share] lines; '#' lines and empty lines are skipped, a CR
    // before LF is dropped. A line is skipped, and reported, when it is not valid UTF-8, has other
    // than three or four fields, its word is not three Hangul syllables or more, its spelling has
    // not one character per syllable, its count is no whole number from 1, or its share no whole
    // number; every other line is kept. Replaces what was read before.
    QList<Skipped> read(const QByteArray& text);

    bool isEmpty() const { return m_lines.empty(); }
    qsizetype size() const { return qsizetype(m_lines.size()); }
    // The bytes held: the text and the array over it.
    qsizetype memoryBytes() const
    {
        return m_text.size() + qsizetype(m_lines.capacity() * sizeof(Line) + m_byFirst.capacity() * sizeof(quint32));
    }

    struct Spelling {
        QString hanja;
        quint32 count = 0;
        bool operator==(const Spelling&) const = default;
    };
    // The word's spellings, most seen first (ties in file order), at most `limit`; none when the
    // word was never seen. `utf8` is the word's UTF-8 bytes.
    QList<Spelling> spellings(QByteArrayView utf8, int limit) const;
    bool contains(QByteArrayView utf8) const;
    // The word's uses as a stem per million uses of its longest dictionary word, from its most seen
    // line; none when the file gives none (the word reads no other way) or the word was never seen.
    std::optional<quint32> stemShare(QByteArrayView utf8) const;

    // For the syllable at `index` of word: the characters the spellings put there beside the same
    // neighbouring syllable, and the characters they spell that syllable with anywhere, each line
    // once. One pass over the lines' bytes (a Hangul syllable is three of them).
    struct PlaceCounts {
        QHash<QString, int> beside;
        QHash<QString, int> anywhere;
    };
    PlaceCounts charactersAt(QStringView word, qsizetype index) const;

private:
    struct Line {
        quint32 start;       // of the word, in m_text
        quint32 count;
        quint32 share;       // kNoShare when the line gives none
        quint16 wordLength;  // bytes
        quint16 hanjaLength; // bytes, after the word and a TAB
    };
    static constexpr quint32 kNoShare = 0xFFFFFFFF;
    QByteArrayView wordOf(const Line& l) const { return QByteArrayView(m_text.constData() + l.start, l.wordLength); }
    std::vector<Line>::const_iterator find(QByteArrayView utf8) const;

    QByteArray m_text;
    std::vector<Line> m_lines; // by word in byte order (which is code point order), then most seen first
    // Where the words of each first syllable begin in m_lines (one more at the end): a search
    // starts among a few hundred lines, not all of them.
    std::vector<quint32> m_byFirst;
};
