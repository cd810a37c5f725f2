#pragma once

#include "core/dictionary/HanjaDictionary.h"
#include "core/dictionary/UserWordTable.h"

#include <QByteArray>
#include <QDateTime>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// The user's own words: one file in the XDG data folder, a word a line in the dictionary's line
// format, hangul:hanja:gloss, with the time it was added as a fourth field (20261207T161500Z) that
// readers of the format take as part of the gloss or leave alone.
// - Every change is a read-modify-write of the whole file under an flock on "<name>.lock", written
//   atomically (SafeFile), so two processes adding at once both keep their word and a full disk or
//   a crash leaves the file as it was.
// - A line that does not read as a word (edited by hand, half a line) is skipped, and moved by the
//   next change to "<name>.broken", appended there; it is never dropped: when it cannot be put
//   there, it stays in the file.
// - A Hanja word is taken only when it reads as the Hangul word syllable by syllable, each
//   character by one of its readings, with the initial-sound rule at the start (李 이), 렬/률 as
//   열/율 after a vowel or ㄴ, and 不 as 부.
class UserWords {
public:
    static UserWords& shared();
    static QString defaultPath(); // $XDG_DATA_HOME/sorelwick/words.txt

    UserWords(QString path, HanjaDictionary& dictionary);
    // Makes the dictionary's lookups see these words.
    void attachTo(HanjaDictionary& dictionary)
    {
        dictionary.setUserWords([this] { return table(); });
    }

    // Posted after every change made here.
    static inline const QString didChange = QStringLiteral("SorelwickUserWordsDidChange");

    QString path() const { return m_path; }
    // The words as the file holds them now; read again only when the file changed.
    std::shared_ptr<const UserWordTable> table();

    // Why `hanja` is no spelling of `hangul`, in words the user reads; nothing when it is one.
    std::optional<QString> refusal(const QString& hangul, const QString& hanja);

    struct Result {
        bool ok = false;      // saved, or nothing to save
        bool changed = false; // the file holds something new
        QString reason;       // why not, for the user
    };
    Result add(const QString& hangul, const QString& hanja, const QString& gloss, const QDateTime& at);
    Result remove(const QString& hangul, const QString& hanja);
    Result clear();

    struct ImportReport {
        int taken = 0;
        int duplicates = 0; // already among the words, or earlier in the file
        int malformed = 0;
        QString firstRefused; // the first malformed line, as it stands
        QString refusedWhy;   // and why
        std::optional<QString> failure; // nothing was saved
    };
    ImportReport importLines(const QByteArray& bytes, const QDateTime& at);
    // The words as dictionary lines, hangul:hanja:gloss.
    QByteArray exportLines();

    // One line as a word; nothing when it is none (not Hangul and Han characters).
    static std::optional<UserWord> parseLine(QStringView line);
    static QString lineOf(const UserWord& word, bool withTime);

private:
    struct FileRead {
        QList<UserWord> words;
        QList<QByteArray> broken; // lines as they stand
        std::optional<QString> failure;
    };
    FileRead readFile() const;
    // A change of the word list made under the file's lock; false from `edit` leaves the file alone.
    Result change(const std::function<bool(QList<UserWord>&)>& edit);

    QString m_path;
    HanjaDictionary& m_dictionary;
    QMutex m_mutex;
    std::shared_ptr<const UserWordTable> m_table;
    QByteArray m_stamp; // of the file m_table was read from
    qint64 m_checkedMs = -1; // when the file was last looked at (coarse monotonic clock); -1: look now
};
