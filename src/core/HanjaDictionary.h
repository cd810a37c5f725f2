#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

// One dictionary word: a Hangul word, one Hanja spelling of it and a free-text meaning.
// Entries handed out by a dictionary point into its text, which lives as long as the dictionary
// (the shared one lives for the whole process); entries made from strings own their text.
class HanjaEntry {
public:
    HanjaEntry() = default;
    HanjaEntry(const QString& hangul, const QString& hanja, const QString& meaning = QString());

    QStringView hangul() const { return {m_hangul, m_hangulLen}; }
    QStringView hanja() const { return {m_hanja, m_hanjaLen}; }
    QStringView meaning() const { return {m_meaning, m_meaningLen}; }

    // All three fields; texts are composed (NFC) on the way in, so this is canonical equivalence.
    bool operator==(const HanjaEntry& other) const
    {
        return hangul() == other.hangul() && hanja() == other.hanja() && meaning() == other.meaning();
    }

private:
    friend class HanjaDictionary;
    QString m_own;
    const QChar* m_hangul = nullptr;
    const QChar* m_hanja = nullptr;
    const QChar* m_meaning = nullptr;
    qsizetype m_hangulLen = 0;
    qsizetype m_hanjaLen = 0;
    qsizetype m_meaningLen = 0;
};

size_t qHash(const HanjaEntry& entry, size_t seed = 0) noexcept;

// The Hanja dictionary: hanja.tsv (Hangul word, Hanja word, meaning) and the frequency table
// hanja_freq.tsv (Hangul word, Hanja word, score), read once, lazily, and kept read-only.
class HanjaDictionary {
public:
    struct Split {
        QString stem;
        QString rest;
        bool operator==(const Split&) const = default;
    };

    // The process-wide instance, reading the data dir of Resources.
    static HanjaDictionary& shared();

    // A dictionary on the files of one folder; an empty folder means the Resources lookup.
    explicit HanjaDictionary(QString folder = QString());
    ~HanjaDictionary();
    HanjaDictionary(const HanjaDictionary&) = delete;
    HanjaDictionary& operator=(const HanjaDictionary&) = delete;

    // Loads both files unless loaded. Safe to call from several threads at once: one load runs,
    // the others wait for it; a failed load is tried again on the next call.
    void loadIfNeeded();
    bool isLoaded() const { return m_data.load(std::memory_order_acquire) != nullptr; }

    // Where the dictionary word ends in text: the longest prefix (2 characters or more) that is a
    // word, unless a shorter word prefix has a spelling in the frequency table and the longer
    // ones have none; a one-character text only as a whole word.
    std::optional<Split> split(const QString& text);
    // The spellings of a word, by frequency score (ties in file order); file order for one-
    // character words and words with one entry. Surrounding blanks are ignored.
    QList<HanjaEntry> candidates(const QString& word);
    // The gloss of one Hanja character, from the first single-character line that gives one.
    QString charGloss(QStringView character);

    // Counts for the load summary and tests.
    qsizetype keyCount();
    qsizetype glossCount();
    qsizetype scoreCount();

private:
    struct Data;
    const Data* data();
    std::unique_ptr<Data> load() const;

    QString m_folder;
    std::mutex m_loadMutex;
    std::unique_ptr<Data> m_owned;
    std::atomic<const Data*> m_data{nullptr};
};
