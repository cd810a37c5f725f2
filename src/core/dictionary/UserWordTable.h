#pragma once

// The user's own words as the dictionary consults them: an unchanging snapshot of the words file,
// found by Hangul word and by Hanja word. A new snapshot replaces it when the file changes.

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <algorithm>
#include <bit>
#include <vector>

struct UserWord {
    QString hangul;
    QString hanja;
    QString gloss;
    QDateTime added; // invalid when the line gives no time
    bool operator==(const UserWord& other) const
    {
        return hangul == other.hangul && hanja == other.hanja && gloss == other.gloss && added == other.added;
    }
};

// Moved as bytes when a list of them grows, as its fields are.
Q_DECLARE_TYPEINFO(UserWord, Q_RELOCATABLE_TYPE);

class UserWordTable {
public:
    UserWordTable() = default;
    explicit UserWordTable(QList<UserWord> words)
        : m_words(std::move(words))
    {
        // Each index one array of cells, open addressing: a load of thousands of words makes
        // no allocation per word, and a lookup reads a cell or two, and a word only when the
        // cell's hash is the text's.
        const size_t size = std::bit_ceil(size_t(m_words.size()) * 2 + 2);
        m_mask = size - 1;
        m_byHangul.assign(size, Cell{});
        m_byHanja.assign(size, Cell{});
        for (qsizetype i = 0; i < m_words.size(); ++i) {
            const UserWord& w = m_words.at(i); // at(): the list is not copied apart
            insert(m_byHangul, qHash(QStringView(w.hangul)), quint32(i));
            insert(m_byHanja, qHash(QStringView(w.hanja)), quint32(i));
            m_longestHanja = std::max(m_longestHanja, w.hanja.size());
        }
    }

    const QList<UserWord>& words() const { return m_words; }
    bool isEmpty() const { return m_words.isEmpty(); }
    // Asked for every prefix of every press: found by the text's hash, without a copy of it.
    bool hasHangul(QStringView hangul) const
    {
        bool found = false;
        each(m_byHangul, hangul, &UserWord::hangul, [&](quint32) { found = true; });
        return found;
    }
    // In the file's order (the latest added last).
    QList<UserWord> forHangul(QStringView hangul) const { return pick(m_byHangul, hangul, &UserWord::hangul); }
    QList<UserWord> forHanja(QStringView hanja) const { return pick(m_byHanja, hanja, &UserWord::hanja); }
    qsizetype longestHanja() const { return m_longestHanja; } // UTF-16 units

private:
    static constexpr quint32 kEmpty = 0xFFFFFFFF;
    struct Cell {
        quint32 word = kEmpty; // index in m_words
        quint32 hash = 0;      // the text's hash, its low half
    };
    using Cells = std::vector<Cell>;

    void insert(Cells& cells, size_t hash, quint32 word)
    {
        size_t at = hash & m_mask;
        while (cells[at].word != kEmpty) at = (at + 1) & m_mask;
        cells[at] = Cell{word, quint32(hash)};
    }
    // Calls f with each word whose field is text, in the order they were put in (the file's).
    template <typename F>
    void each(const Cells& cells, QStringView text, QString UserWord::*field, F f) const
    {
        if (cells.empty()) return;
        const size_t hash = qHash(text);
        for (size_t at = hash & m_mask; cells[at].word != kEmpty; at = (at + 1) & m_mask)
            if (cells[at].hash == quint32(hash) && m_words[cells[at].word].*field == text) f(cells[at].word);
    }
    QList<UserWord> pick(const Cells& cells, QStringView text, QString UserWord::*field) const
    {
        QList<UserWord> out;
        each(cells, text, field, [&](quint32 i) { out.append(m_words[i]); });
        return out;
    }

    QList<UserWord> m_words;
    Cells m_byHangul;
    Cells m_byHanja;
    size_t m_mask = 0;
    qsizetype m_longestHanja = 0;
};
