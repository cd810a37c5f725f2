#pragma once

#include "platform/Types.h"

#include <QString>
#include <QStringView>

#include <optional>

// Undoes keyboard-layout accidents: Korean typed while the US QWERTY layout was active (dkssud -> 안녕)
// and English typed while the Korean 2-set layout was active (ㅗ디ㅣㅐ -> hello).
// Stateless: only static members; the tables are built once per process and only read afterwards,
// so every function may be called from any thread.
class KeyboardLayoutFix {
public:
    KeyboardLayoutFix() = delete;

    struct Suggestion {
        enum class Kind { korean, english };
        Kind kind;
        QString text; // the converted text, offered as it stands
        // The second line of the offer row.
        QString secondary() const;
        bool operator==(const Suggestion&) const = default;
    };

    // The Korean that the keys of `text` type on the 2-set layout; absent when no syllable comes out.
    static std::optional<QString> englishToKorean(const QString& text);
    // The QWERTY keys that type the Hangul of `text`; absent when `text` has no Hangul to convert.
    static std::optional<QString> koreanToEnglish(const QString& text);
    // Whether `text` (a selection) was typed on the wrong layout, and what it was meant to be.
    static std::optional<Suggestion> suggest(const QString& text);
    // The whole run of a Korean-layout typo around `selection` (UTF-16 units of `full`), when the user
    // selected only part of it; absent when there is nothing to widen or the run is not such a typo.
    static std::optional<TextRange> typoRun(const QString& full, TextRange selection);

private:
    friend struct KeyboardLayoutFixAccess; // tests reach the automaton and the tables through this

    struct Tables;
    static const Tables& tables();

    // The 2-set typing automaton over a sequence of compatibility jamo (one UTF-16 unit each).
    static QString compose(QStringView jamo);
    // The QWERTY keys that type one character (a jamo, a compound jamo, or anything else unchanged).
    static QString keys(QStringView character);
    static void appendKeys(QString& out, QStringView character);
    // Whether converted Korean looks like real Korean: bare jamo below a fifth of the non-blank scalars.
    static bool isWellFormed(QStringView text);
};
