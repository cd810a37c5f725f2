#include "core/WordRows.h"

#include "base/TextUtil.h"
#include "core/MeaningLine.h"
#include "core/PickHistory.h"
#include "core/Ranker.h"
#include "core/ReplacementFormat.h"
#include "core/WritingSettings.h"

namespace WordRows {

bool allSyllables(const QString& text)
{
    for (QChar c : text)
        if (!TextUtil::isHangulSyllable(c.unicode())) return false;
    return true;
}

// A row that writes a Hanja spelling of `word` and learns it under `word`.
Candidate hanjaRow(const QString& word, QStringView hanja, const QString& secondary, const QString& replacement)
{
    Candidate row;
    row.primary = hanja.toString();
    row.secondary = secondary;
    row.replacement = replacement;
    row.kind = CandidateKind::hanja;
    row.word = word;
    return row;
}

} // namespace WordRows

namespace {

using WordRows::allSyllables;
using WordRows::hanjaRow;

QString quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

// The compound rows, learned under the whole compound, with their parts as the meaning line (a
// spelling no dictionary words spell, such as a name, has the meaning line of a dictionary row).
QList<Candidate> compoundRows(const QList<HanjaDictionary::Compound>& compounds, MeaningLine::Style style,
                              ReplacementFormat::Format format, HanjaDictionary& dictionary)
{
    if (compounds.isEmpty()) return {};
    const QString word = compounds.first().hangul; // one reading: the same word, other spellings
    QList<HanjaEntry> entries;
    for (const HanjaDictionary::Compound& c : compounds)
        entries.append(HanjaEntry(c.hangul, c.hanja, c.partsHanja.join(QStringLiteral(" + "))));
    QList<Candidate> rows;
    for (const HanjaEntry& e : entries) {
        QString meaning;
        if (style != MeaningLine::Style::none)
            meaning = e.meaning().isEmpty() ? MeaningLine::text(e, style, {}, dictionary) : e.meaning().toString();
        rows.append(hanjaRow(word, e.hanja(), meaning, ReplacementFormat::example(format, word, e.hanja()) + compounds.first().rest));
    }
    return rows;
}

// The rows the user picked before lead, most picked then latest first, whichever word they
// write: a compound picked for this text passes the stem's rows, and the other way round. A
// model's first choice (`pinned`, or -1) ranked its word by context: no pick of that word
// passes it, so it moves up with them.
QList<Candidate> learnedFirst(const QList<Candidate>& rows, qsizetype pinned)
{
    QList<PickHistory::Key> keys;
    for (const Candidate& row : rows) keys.append(PickHistory::Key{row.word, row.primary});
    const PickHistory::Order order = PickHistory::shared().order(keys);
    const bool pin = pinned >= 0 && pinned < rows.size();
    bool placed = !pin;
    QList<Candidate> result;
    for (qsizetype k = 0; k < order.positions.size(); ++k) {
        const qsizetype at = order.positions[k];
        if (pin && at == pinned) {
            if (!placed) result.append(rows[at]);
            placed = true;
            continue;
        }
        if (!placed && k < order.picked && rows[at].word == rows[pinned].word) {
            result.append(rows[pinned]);
            placed = true;
        }
        result.append(rows[at]);
    }
    return result;
}

} // namespace

namespace WordRows {

std::optional<Lookup> lookUp(const QString& text, HanjaDictionary& dictionary, const HanjaDictionary::PartPicks& picks)
{
    if (!allSyllables(text) || TextUtil::characterCount(text) > kMaxSyllables) return std::nullopt;
    std::optional<HanjaDictionary::Split> split = dictionary.split(text);
    Lookup lookup;
    // With no dictionary word at its start (이순신은), a compound as writers spelled it may still read it.
    lookup.compounds = split ? dictionary.compounds(*split, 3, picks) : dictionary.compounds(text, 3, picks);
    if (!split) split = dictionary.syllableSplit(text);
    if (split) lookup.entries = dictionary.candidates(split->stem);
    if (lookup.entries.isEmpty() && lookup.compounds.isEmpty()) return std::nullopt;
    lookup.head = split.value_or(HanjaDictionary::Split{text, QString()});
    return lookup;
}

QString firstWord(const Lookup& lookup)
{
    for (const HanjaDictionary::Compound& c : lookup.compounds)
        if (!c.afterWord) return c.hangul;
    return lookup.head.stem;
}

QString headerWord(const Lookup& lookup, const QString& firstWord)
{
    if (firstWord != lookup.head.stem)
        for (const bool later : {false, true}) // the first compound of each group
            for (const HanjaDictionary::Compound& c : lookup.compounds)
                if (c.afterWord == later) {
                    if (c.hangul == firstWord) return quoted(firstWord) + c.rest;
                    break;
                }
    return quoted(lookup.head.stem) + lookup.head.rest;
}

namespace {

// The rows of an arrangement of the stem's spellings, with the compounds around them.
Arranged rowsOf(const Lookup& lookup, const Ranker::Arrangement& arranged, HanjaDictionary& dictionary)
{
    // Compounds the text reads likelier as the word and its ending follow the word's own rows.
    QList<HanjaDictionary::Compound> before, after;
    for (const HanjaDictionary::Compound& c : lookup.compounds) (c.afterWord ? after : before).append(c);
    const HanjaDictionary::Split& split = lookup.head;
    // Merged to 40 rows at most, reordered by the picks.
    const MeaningLine::Style style = WritingSettings::meaningStyle();
    const ReplacementFormat::Format format = WritingSettings::format();
    QList<Candidate> rows = compoundRows(before, style, format, dictionary);
    const qsizetype stemStart = rows.size();
    const QList<Candidate> later = compoundRows(after, style, format, dictionary);
    for (const HanjaEntry& e : arranged.entries.mid(0, std::max<qsizetype>(0, Ranker::kMaxRows - rows.size() - later.size())))
        rows.append(hanjaRow(split.stem, e.hanja(), MeaningLine::text(e, style, arranged.meanings, dictionary),
                             ReplacementFormat::example(format, split.stem, e.hanja()) + split.rest));
    // A model ranked the stem's rows only; its first choice is the first of them.
    const qsizetype modelFirst = arranged.engine == RankEngine::model && rows.size() > stemStart ? stemStart : -1;
    rows.append(later);
    return Arranged{learnedFirst(rows, modelFirst), arranged.engine};
}

} // namespace

QCoro::Task<Arranged> arrange(std::shared_ptr<LanguageModel> model, Lookup lookup, QString context,
                              HanjaDictionary& dictionary)
{
    // Ranked, the model's choices first.
    const Ranker::Arrangement arranged = co_await Ranker::arrange(model, lookup.head.stem, lookup.entries, context);
    co_return rowsOf(lookup, arranged, dictionary);
}

Arranged arrangeByFrequency(const Lookup& lookup, HanjaDictionary& dictionary)
{
    return rowsOf(lookup, Ranker::arrangeByFrequency(lookup.head.stem, lookup.entries), dictionary);
}

} // namespace WordRows
