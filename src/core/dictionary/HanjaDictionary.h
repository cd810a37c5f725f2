#pragma once

// The Hanja dictionary: hanja.tsv (Hangul word, Hanja word, meaning) and the frequency table
// hanja_freq.tsv (Hangul word, Hanja word, score), read once, lazily, and kept read-only; where a
// word ends in a selection (split) and its spellings in order (candidates). The load and the data
// live in the other files of this folder; this one is the face the rest of the program sees.

#include "core/dictionary/HanjaEntry.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QStringList>
#include <QString>
#include <QStringView>

#include <atomic>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>

struct DictionaryData;
class CompoundParts;
class SeenCompounds;
class UserWordTable;

class HanjaDictionary {
public:
    struct Split {
        QString stem;
        QString rest;
        bool operator==(const Split&) const = default;
    };
    // The files' contents, for a dictionary that reads no files (tests, fuzzing); an absent one
    // as if its file were missing.
    struct Texts {
        Texts(QByteArray dictionary_, std::optional<QByteArray> scores_ = std::nullopt,
              std::optional<QByteArray> endings_ = std::nullopt, std::optional<QByteArray> parts_ = std::nullopt,
              std::optional<QByteArray> seen_ = std::nullopt)
            : dictionary(std::move(dictionary_))
            , scores(std::move(scores_))
            , endings(std::move(endings_))
            , parts(std::move(parts_))
            , seen(std::move(seen_))
        {
        }
        QByteArray dictionary;
        std::optional<QByteArray> scores;
        std::optional<QByteArray> endings; // known_endings.tsv
        std::optional<QByteArray> parts;   // compound_parts.tsv
        std::optional<QByteArray> seen;    // seen_compounds.tsv
    };

    // The process-wide instance, reading the data dir of Resources.
    static HanjaDictionary& shared();

    // A dictionary on the files of one folder; an empty folder means the Resources lookup.
    explicit HanjaDictionary(QString folder = QString());
    explicit HanjaDictionary(Texts texts);
    ~HanjaDictionary();
    HanjaDictionary(const HanjaDictionary&) = delete;
    HanjaDictionary& operator=(const HanjaDictionary&) = delete;

    // Loads both files unless loaded. Safe to call from several threads at once: one load runs,
    // the others wait for it; a failed load is tried again on the next call.
    void loadIfNeeded();
    // Reads the tables of compounds (parts, and compounds as seen) now, else the first compound
    // asked for reads them, so a loader thread can spare the first press that.
    void readCompoundTablesIfNeeded()
    {
        compoundParts();
        seenCompounds();
    }
    bool isLoaded() const { return m_data.load(std::memory_order_acquire) != nullptr; }

    // The user's own words, asked for afresh by each lookup (a snapshot that changes only when
    // the words file does). They are words like the dictionary's: stems of split with a spelling
    // that counts as scored, the first spellings of candidates, parts of compounds and readings.
    using UserWordSource = std::function<std::shared_ptr<const UserWordTable>()>;
    void setUserWords(UserWordSource source) { m_userWords = std::move(source); }
    std::shared_ptr<const UserWordTable> userWords() const;

    // Where the dictionary word ends in text: the longest prefix (2 characters or more) that is a
    // word, unless a shorter word prefix has a spelling in the frequency table and the longer
    // ones have none; a one-character text only as a whole word. When that leaves a rest that
    // cannot begin an ending (사회부 + 터), the longest shorter word whose rest is a known ending
    // wins (사회 + 부터).
    std::optional<Split> split(const QString& text);
    // A one-character word followed by a known ending (구에: 구 + 에, 보한다: 보 + 한다), which split()
    // never reads so: a press that finds no longer word still offers the word's spellings.
    std::optional<Split> syllableSplit(const QString& text);
    // The spellings of a word, by frequency score (ties in file order); file order for one-
    // character words and words with one entry. Surrounding blanks are ignored. The entries
    // borrow the dictionary's text: they must not outlive it.
    QList<HanjaEntry> candidates(const QString& word);
    // Words the dictionary lacks, for text (부과계수를, 이순신은), up to `limit` rows of each kind:
    // - as writers spelled them: the longest start of text that is a compound seen spelled in
    //   Hanja (seen_compounds.tsv), longer than split(text)'s stem and followed by a known ending or
    //   nothing; its spellings, most seen first (ties in the order of the made ones below, else
    //   by their parts' places among their words' spellings), with the dictionary words that
    //   spell them as parts when there are such (none for 李舜臣);
    // - made of the dictionary's words: the stem of split(text) followed by further dictionary
    //   words and then a known ending or nothing (부과계수를 → 부과 + 계수 + 를; 가림군이 → 가림 +
    //   군 + 이). What follows the stem is read the likeliest way: each word as often as it is a
    //   part of such compounds (one-syllable words only when seen as one), the ending as often as
    //   it follows a noun (nothing after it too); a rest that reads likelier as an ending gives no
    //   compound (사회부터). Each part's spelling by how often it is that part, the dictionary's
    //   order counting as much as the least-seen part; the likeliest first.
    // Seen spellings come first; made ones follow when they read the same word, without repeats.
    // All rows read one word with one rest, unless the text reads far likelier without the seen
    // word: as the stem of split(text) and its rest, a known ending (정신보다: 정신 + 보다, not 정신보
    // 鄭臣保 + 다), or as a compound made of other parts, weighed by how often running text uses the
    // seen word per use of the stem; or unless the seen word's rest is mostly a longer word's last
    // syllable (기) and a word ends in its first syllable (조선후기: 조선 + 후기, not 조선후 朝鮮侯 + 기).
    // Then the seen spellings come after the made ones, marked to follow the word's own rows. Empty
    // when text is no such compound.
    struct Compound {
        QString hangul;          // the parts joined (부과계수)
        QString hanja;           // their spellings joined (賦課係數)
        QStringList partsHanja;  // each part's spelling (賦課, 係數)
        QString rest;            // the ending after it (를), as in text
        bool afterWord = false;  // offered after the word's own rows: the text reads likelier as the word
        bool operator==(const Compound&) const = default;
    };
    // A word's spellings the user picked, most picked first: a made compound spells that word,
    // as one of its parts, the way its own rows lead (a seen compound's spellings still come first).
    using PartPicks = QHash<QString, QStringList>;
    QList<Compound> compounds(const QString& text, int limit = 3, const PartPicks& picks = {});
    // The same from split(text) made already, as a press makes it for the word's own rows.
    QList<Compound> compounds(const Split& head, int limit = 3, const PartPicks& picks = {});
    // The spellings in the table of compounds as seen (read now unless read).
    qsizetype seenCompoundCount();
    // The gloss of one Hanja character, from the first single-character line that gives one.
    QString charGloss(QStringView character);

    // Reading Hanja (ReadingIndex, HanjaDictionaryReading.cpp). A run of Han characters reads as
    // the fewest pieces: words of the reversed dictionary (each read as that word is), else single
    // characters, read by the initial-sound rule at the run's start (李 이, 勞 노) and the
    // character's own reading after it (勤勞 근로), 렬/률 as 열/율 after a vowel or ㄴ, 不 as 부
    // before ㄷ and ㅈ. A character it cannot read stays itself, unread. Compatibility ideographs
    // read as their unified forms.
    struct ReadingPiece {
        QString hanja;        // as in the run
        QStringList readings; // most likely first; the character itself when unknown
        bool known = true;
        bool operator==(const ReadingPiece&) const = default;
    };
    // A run that follows a digit or a letter (2024年) does not start a word.
    QList<ReadingPiece> readHanja(QStringView run, bool startsWord = true);
    // Reads the reversed dictionary now (the loader thread), else the first reading reads it.
    void readReadingsIfNeeded() { readingData(); }
    // Lets go of the pages of the mapped indexes that lookups and the load's own probes (the known
    // endings, the compound tables) brought in: they stay in the page cache for the next lookup.
    void releaseResident();

    // How much the dictionary's words of two or more characters use a character: each word once,
    // plus its uses in running text by the frequency table (HanjaDictionaryCharacters.cpp); counted
    // over the whole dictionary on first use.
    double characterUses(QStringView character);
    // For the syllable at `index` of word: how often the dictionary's words and the compounds as
    // writers spelled them that hold it beside the same neighbour spell it with each character
    // there (가림성 嘉林城 gives 嘉 for the 가 of 가림현), and how often those compounds spell the
    // syllable with each character anywhere; each call reads through all words.
    struct SyllableCounts {
        QHash<QString, int> beside;
        QHash<QString, int> inCompounds;
    };
    SyllableCounts charactersAt(QStringView word, qsizetype index);

    // Counts for the load summary and tests.
    qsizetype keyCount();
    qsizetype glossCount();
    qsizetype scoreCount();

private:
    const DictionaryData* data();
    std::unique_ptr<DictionaryData> load() const;
    // The compound parts, read on first use; null when missing or unreadable.
    const CompoundParts* compoundParts();
    // The compounds as seen, read on first use; null when missing or holding none.
    const SeenCompounds* seenCompounds();
    // `likelihood`, when given, gets the made reading's: the log of its parts' and ending's shares of
    // the uses of nouns, as for the reading as the stem and an ending.
    QList<Compound> madeCompounds(const Split& head, int limit, double* likelihood = nullptr,
                                  const PartPicks& picks = {});
    // The seen compound at the start of text (composed), longer than `stemLength` characters; its
    // spellings seen as often in the order of `made`, the compounds made of the parts, else by
    // their parts' places; marked afterWord when the text reads far likelier as the stem and its
    // rest or as `made`, whose likelihood is `madeLikelihood`, or its rest ends a longer word.
    QList<Compound> seenCompoundsAt(const QString& text, qsizetype stemLength, int limit,
                                    const QList<Compound>& made = {},
                                    double madeLikelihood = -std::numeric_limits<double>::infinity());
    // The reversed dictionary, read on first use; null when the dictionary cannot be read.
    const DictionaryData* readingData();
    std::unique_ptr<DictionaryData> loadReadings() const;
    // A data file's bytes: from the texts, the folder or Resources; logged when missing.
    std::optional<QByteArray> readOptional(const QString& name, const std::optional<QByteArray>& text) const;

    QString m_folder;
    UserWordSource m_userWords;
    std::optional<Texts> m_texts;
    std::mutex m_loadMutex;
    std::unique_ptr<DictionaryData> m_owned;
    std::atomic<const DictionaryData*> m_data{nullptr};
    std::mutex m_partsMutex;
    bool m_partsRead = false;
    std::unique_ptr<CompoundParts> m_parts;
    std::mutex m_seenMutex;
    bool m_seenRead = false;
    std::unique_ptr<SeenCompounds> m_seen;
    std::mutex m_readingMutex;
    std::unique_ptr<DictionaryData> m_reading;
    std::atomic<const DictionaryData*> m_readingData{nullptr};
    qsizetype m_readingLongest = 0; // UTF-16 units of the longest word
    std::mutex m_usesMutex;
    std::optional<QHash<QString, double>> m_characterUses;
};
