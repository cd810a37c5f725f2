#pragma once

// One dictionary word as a value: a Hangul word, one Hanja spelling of it and a free-text meaning.
// An entry either owns its text or borrows it from a dictionary, which saves a copy of three
// strings for every row of every lookup.

#include <QString>
#include <QStringView>

class HanjaEntry {
public:
    HanjaEntry() = default;
    // Owns its text (composed to NFC).
    HanjaEntry(const QString& hangul, const QString& hanja, const QString& meaning = QString());
    // Borrows its text, which must stay alive and unchanged as long as the entry and its copies
    // (a dictionary's text does; the shared dictionary's lives for the whole process).
    static HanjaEntry borrowed(QStringView hangul, QStringView hanja, QStringView meaning);

    QStringView hangul() const { return {m_hangul, m_hangulLen}; }
    QStringView hanja() const { return {m_hanja, m_hanjaLen}; }
    QStringView meaning() const { return {m_meaning, m_meaningLen}; }

    // All three fields; texts are composed on the way in, so this is canonical equivalence.
    bool operator==(const HanjaEntry& other) const
    {
        return hangul() == other.hangul() && hanja() == other.hanja() && meaning() == other.meaning();
    }

private:
    QString m_own; // the three fields back to back, unless borrowed
    const QChar* m_hangul = nullptr;
    const QChar* m_hanja = nullptr;
    const QChar* m_meaning = nullptr;
    qsizetype m_hangulLen = 0;
    qsizetype m_hanjaLen = 0;
    qsizetype m_meaningLen = 0;
};

size_t qHash(const HanjaEntry& entry, size_t seed = 0) noexcept;
