#pragma once

// The user's own words as the dictionary consults them: an unchanging snapshot of the words file,
// found by Hangul word and by Hanja word. A new snapshot replaces it when the file changes.

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringView>

#include <algorithm>

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

class UserWordTable {
public:
    UserWordTable() = default;
    explicit UserWordTable(QList<UserWord> words)
        : m_words(std::move(words))
    {
        m_byHangul.reserve(m_words.size());
        m_byHanja.reserve(m_words.size());
        for (qsizetype i = 0; i < m_words.size(); ++i) {
            m_byHangul.insert(qHash(QStringView(m_words[i].hangul)), i);
            m_byHanja.insert(qHash(QStringView(m_words[i].hanja)), i);
            m_longestHanja = std::max(m_longestHanja, m_words[i].hanja.size());
        }
    }

    const QList<UserWord>& words() const { return m_words; }
    bool isEmpty() const { return m_words.isEmpty(); }
    // Asked for every prefix of every press: found by the text's hash, without a copy of it.
    bool hasHangul(QStringView hangul) const
    {
        const auto [from, to] = m_byHangul.equal_range(qHash(hangul));
        return std::any_of(from, to, [&](qsizetype i) { return m_words[i].hangul == hangul; });
    }
    // In the file's order (the latest added last).
    QList<UserWord> forHangul(QStringView hangul) const { return pick(m_byHangul, hangul, &UserWord::hangul); }
    QList<UserWord> forHanja(QStringView hanja) const { return pick(m_byHanja, hanja, &UserWord::hanja); }
    qsizetype longestHanja() const { return m_longestHanja; } // UTF-16 units

private:
    using Index = QMultiHash<size_t, qsizetype>;
    QList<UserWord> pick(const Index& index, QStringView text, QString UserWord::*field) const
    {
        QList<qsizetype> at;
        const auto [from, to] = index.equal_range(qHash(text));
        for (auto it = from; it != to; ++it)
            if (m_words[*it].*field == text) at.append(*it);
        std::sort(at.begin(), at.end());
        QList<UserWord> out;
        for (qsizetype i : at) out.append(m_words[i]);
        return out;
    }

    QList<UserWord> m_words;
    Index m_byHangul; // by the text's hash
    Index m_byHanja;
    qsizetype m_longestHanja = 0;
};
