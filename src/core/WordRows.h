#pragma once

// The rows a press offers for one Korean word: where its dictionary word ends, its spellings and
// the compounds it may be, ranked and reordered by the picks. A sentence's words get theirs the
// same way, one at a time.

#include "core/Candidate.h"
#include "core/dictionary/HanjaDictionary.h"
#include "core/RankEngine.h"

#include <QList>
#include <QString>

#include <qcoro/qcorotask.h>

#include <memory>
#include <optional>

class LanguageModel;

namespace WordRows {

// Hangul syllables alone (an empty text too).
bool allSyllables(const QString& text);
// A row that writes a Hanja spelling of `word` and learns it under `word`.
Candidate hanjaRow(const QString& word, QStringView hanja, const QString& secondary, const QString& replacement);

// At most this many syllables are looked up as one word.
inline constexpr qsizetype kMaxSyllables = 12;

struct Lookup {
    HanjaDictionary::Split head; // the stem and its rest; the whole text when no word starts it
    QList<HanjaEntry> entries;   // the stem's spellings
    QList<HanjaDictionary::Compound> compounds;
};

// Absent when text (composed, trimmed) is not Hangul syllables alone, is too long, or has
// neither spellings nor compounds. A compound's parts are spelled as the user picked them alone
// (`picks`, PickHistory::pickedSpellings()).
std::optional<Lookup> lookUp(const QString& text, HanjaDictionary& dictionary,
                             const HanjaDictionary::PartPicks& picks);

struct Arranged {
    QList<Candidate> rows;
    RankEngine engine = RankEngine::frequency;
};
// Ranked with the model (null: frequency) in the context, merged, reordered by the picks.
QCoro::Task<Arranged> arrange(std::shared_ptr<LanguageModel> model, Lookup lookup, QString context,
                              HanjaDictionary& dictionary);
// The same without a model, at once (tens of microseconds).
Arranged arrangeByFrequency(const Lookup& lookup, HanjaDictionary& dictionary);

// The word as a header names it, the quoted word the first row writes and its rest: "수도"를.
QString headerWord(const Lookup& lookup, const QString& firstWord);
// The word the panel offers first before ranking: the leading compound's, else the stem.
QString firstWord(const Lookup& lookup);

} // namespace WordRows
