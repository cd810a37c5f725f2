#pragma once

#include "core/dictionary/HanjaDictionary.h"

#include <QList>
#include <QString>
#include <QStringList>

// A word the dictionary does not spell as wanted, spelled one syllable at a time: each syllable
// offers the characters that read so there (李 for 이 at a word's start, 率 for 율 after a vowel),
// those the words use beside the same neighbouring syllable first, then those the compounds writers
// spelled (and the dictionary lacks) use most there, then the most used, nine to a page.
class SyllableCompose {
public:
    static constexpr qsizetype kMinSyllables = 2;
    static constexpr qsizetype kMaxSyllables = 12;
    static constexpr qsizetype kPage = 9;

    struct Choice {
        QString hanja;
        QString gloss;
        bool operator==(const Choice&) const = default;
    };

    // Whether a word can be composed: 2 to 12 Hangul syllables, each read by some character.
    static bool offers(const QString& word, HanjaDictionary& dictionary);
    // The characters that read as the syllable at `index` of word, in that order.
    static QList<Choice> choicesFor(const QString& word, qsizetype index, HanjaDictionary& dictionary);

    SyllableCompose(QString word, HanjaDictionary& dictionary);

    const QString& word() const { return m_word; }
    qsizetype index() const { return m_chosen.size(); }
    bool done() const { return m_chosen.size() == m_word.size(); }
    // "[범]용 · 1/2"
    QString header() const;
    // The current syllable's page of choices, and whether more pages follow (or precede).
    QList<Choice> page() const;
    bool hasMore() const { return m_choices.size() > kPage; }
    // Takes choice `row` (0-based) of the page and moves on; false when there is no such row.
    bool choose(qsizetype row);
    void nextPage();
    // Back one syllable; false at the first one.
    bool back();
    // The characters chosen so far.
    QString hanja() const { return m_chosen.join(QString()); }

private:
    void load();

    QString m_word;
    HanjaDictionary& m_dictionary;
    QStringList m_chosen;
    QList<Choice> m_choices; // of the current syllable
    qsizetype m_page = 0;
};
