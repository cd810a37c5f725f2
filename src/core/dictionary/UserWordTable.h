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
        for (qsizetype i = 0; i < m_words.size(); ++i) {
            m_byHangul[m_words[i].hangul].append(i);
            m_byHanja[m_words[i].hanja].append(i);
            m_longestHanja = std::max(m_longestHanja, m_words[i].hanja.size());
        }
    }

    const QList<UserWord>& words() const { return m_words; }
    bool isEmpty() const { return m_words.isEmpty(); }
    bool hasHangul(QStringView hangul) const { return m_byHangul.contains(hangul.toString()); }
    // In the file's order (the latest added last).
    QList<UserWord> forHangul(QStringView hangul) const { return pick(m_byHangul.value(hangul.toString())); }
    QList<UserWord> forHanja(QStringView hanja) const { return pick(m_byHanja.value(hanja.toString())); }
    qsizetype longestHanja() const { return m_longestHanja; } // UTF-16 units

private:
    QList<UserWord> pick(const QList<qsizetype>& at) const
    {
        QList<UserWord> out;
        for (qsizetype i : at) out.append(m_words[i]);
        return out;
    }

    QList<UserWord> m_words;
    QHash<QString, QList<qsizetype>> m_byHangul;
    QHash<QString, QList<qsizetype>> m_byHanja;
    qsizetype m_longestHanja = 0;
};
