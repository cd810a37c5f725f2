// The dictionary's lookups of words it lacks (compounds): as writers spelled them (seen compounds)
// and as made of its own words (compound parts), and the reading of those two tables.
#include "core/dictionary/HanjaDictionary.h"

#include "base/Log.h"
#include "base/TextUtil.h"
#include "core/dictionary/CompoundParts.h"
#include "core/dictionary/DictionaryData.h"
#include "core/dictionary/SeenCompounds.h"
#include "core/dictionary/UserWordTable.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

// The longest seen compound looked for, in syllables (the longest selection a press looks up).
constexpr qsizetype kMaxSeenSyllables = 16;
// How much likelier another reading must be for a seen word to give way to it.
constexpr double kFar = 10;

// 1 / (i + 1) for a word's places: one-syllable words have hundreds of spellings, and a division
// each was much of a compound's cost.
double reciprocal(qsizetype i)
{
    static const std::array<double, 4096> table = [] {
        std::array<double, 4096> t{};
        for (std::size_t k = 0; k < t.size(); ++k) t[k] = 1.0 / double(k + 1);
        return t;
    }();
    return std::size_t(i) < table.size() ? table[std::size_t(i)] : 1.0 / double(i + 1);
}

// Whether the rest from i to n is mostly a longer word's last syllable and its ending (기) and a
// dictionary word starting at `from` or later ends in its first syllable (후기 in 조선후기): then it
// gives way to that word, as the split's stem does. `piece(a, b)` is the text from a to b.
template <typename Piece>
bool restEndsALongerWord(const DictionaryData& d, qsizetype from, qsizetype i, qsizetype n, Piece piece)
{
    if (i >= n || !d.endings.isWordEnd(piece(i, n))) return false;
    for (qsizetype j = from; j < i; ++j)
        if (d.findKey(piece(j, i + 1))) return true;
    return false;
}

// The likeliest `limit` spellings of the parts read (the first part the stem), as compound rows.
QList<HanjaDictionary::Compound> spelledCompounds(HanjaDictionary& dictionary, const CompoundParts& parts,
                                                  const QList<QString>& words, const QString& rest, int limit,
                                                  const HanjaDictionary::PartPicks& picks)
{
    // Each part's spellings with their likelihood: uses as that part, at the end or before it,
    // plus the dictionary's order, worth the least-seen part, shared out by place (1, 1/2, 1/3 ...).
    // Only a part's best `limit` spellings can be in the best `limit` choices, so only they are kept.
    struct Option {
        QString hanja;
        double logLikelihood = 0; // its weight until all the part's spellings are weighed
        int place = 0; // among the word's distinct spellings, for ties
    };
    QList<QList<Option>> spellings;
    for (qsizetype p = 0; p < words.size(); ++p) {
        const QString& w = words[p];
        const bool last = p == words.size() - 1;
        const QList<HanjaEntry> entries = dictionary.candidates(w);
        QList<QStringView> distinct;
        QHash<QStringView, qsizetype> placeOf;
        distinct.reserve(entries.size());
        placeOf.reserve(entries.size());
        for (const HanjaEntry& e : entries) {
            const QStringView hanja = e.hanja();
            if (hanja.isEmpty() || placeOf.contains(hanja)) continue;
            placeOf.insert(hanja, distinct.size());
            distinct.append(hanja);
        }
        if (distinct.isEmpty()) return {};
        double harmonic = 0;
        for (qsizetype i = 0; i < distinct.size(); ++i) harmonic += reciprocal(i);
        const double prior = parts.unit() / harmonic;
        double sum = parts.unit();
        // The best are among the spellings seen as parts and the first `limit` in the dictionary's order.
        QList<Option> options;
        const auto consider = [&](qsizetype i, double uses) {
            const double value = uses + prior * reciprocal(i);
            const auto after = std::find_if(options.begin(), options.end(), [&](const Option& x) {
                return value > x.logLikelihood || (value == x.logLikelihood && i < x.place);
            });
            if (after - options.begin() >= limit) return;
            options.insert(after, Option{distinct[i].toString(), value, int(i)});
            if (options.size() > limit) options.removeLast();
        };
        const QList<CompoundParts::Spelling> seen = parts.spellings(w);
        QList<double> usesOfFirst(std::min<qsizetype>(limit, distinct.size()), 0.0);
        for (const CompoundParts::Spelling& x : seen) {
            const qsizetype i = placeOf.value(x.hanja, -1);
            if (i < 0) continue;
            const double uses = last ? x.last : x.inside;
            sum += uses;
            if (i < usesOfFirst.size()) usesOfFirst[i] = uses;
            else consider(i, uses);
        }
        // The user's own spellings of the part (first among its spellings) outweigh all others.
        if (const auto user = dictionary.userWords())
            for (const UserWord& own : user->forHangul(w))
                if (const qsizetype i = placeOf.value(own.hanja, -1); i >= 0 && i < usesOfFirst.size()) {
                    usesOfFirst[i] = sum;
                    sum += usesOfFirst[i];
                }
        for (qsizetype i = 0; i < usesOfFirst.size(); ++i) consider(i, usesOfFirst[i]);
        for (Option& o : options) o.logLikelihood = std::log(o.logLikelihood / sum);
        // The user's picks of the word alone lead, as they lead its own rows, most picked first:
        // above every likelihood (at most 0), so the likeliest choice spells the part that way.
        if (const auto picked = picks.constFind(w); picked != picks.cend()) {
            QList<Option> first;
            for (const QString& hanja : *picked) {
                const qsizetype i = placeOf.value(hanja, -1);
                if (i < 0 || first.size() >= limit) continue;
                first.append(Option{hanja, double(picked->size() - first.size()), int(i)});
                options.removeIf([&](const Option& o) { return o.hanja == hanja; });
            }
            options = (first + options).mid(0, limit);
        }
        spellings.append(options);
    }
    // The best `limit` choices: the parts are independent, so the best prefixes suffice.
    struct Choice {
        double logLikelihood = 0;
        QList<int> places; // into each part's options
        QList<int> ties;   // the spellings' places among the word's
    };
    QList<Choice> beam{Choice{}};
    for (const auto& options : spellings) {
        QList<Choice> more;
        for (const Choice& c : beam)
            for (int i = 0; i < options.size(); ++i) {
                Choice grown = c;
                grown.logLikelihood += options[i].logLikelihood;
                grown.places.append(i);
                grown.ties.append(options[i].place);
                more.append(grown);
            }
        std::stable_sort(more.begin(), more.end(), [](const Choice& a, const Choice& b) {
            return a.logLikelihood != b.logLikelihood ? a.logLikelihood > b.logLikelihood : a.ties < b.ties;
        });
        beam = more.mid(0, limit);
    }
    QList<HanjaDictionary::Compound> out;
    for (const Choice& c : beam) {
        HanjaDictionary::Compound compound{words.join(QString()), QString(), {}, rest};
        for (qsizetype p = 0; p < words.size(); ++p) {
            compound.partsHanja.append(spellings[p][c.places[p]].hanja);
            compound.hanja += compound.partsHanja.last();
        }
        out.append(compound);
    }
    return out;
}

// The dictionary words that spell a seen compound, the fewest (then the longest first); none when
// no such cut exists (李舜臣: 이 李 + 순신, which the dictionary does not spell 舜臣).
QStringList spelledParts(const DictionaryData& d, const QString& word, const QString& hanja)
{
    const QList<qsizetype> hanjaBounds = TextUtil::graphemeBoundaries(hanja);
    const qsizetype n = word.size(); // syllables, one unit each
    if (hanjaBounds.size() != n + 1) return {};
    const auto spells = [&](qsizetype i, qsizetype k) {
        const DictionaryData::KeyRef key = d.findKey(QStringView(word).sliced(i, k - i));
        if (!key) return false;
        const QStringView spelling = QStringView(hanja).sliced(hanjaBounds[i], hanjaBounds[k] - hanjaBounds[i]);
        const quint32 first = key.key->firstEntry(), count = key.part->entryCount(*key.key);
        for (quint32 e = first; e < first + count; ++e)
            if (d.entry(key, key.part->entries[e]).hanja() == spelling) return true;
        return false;
    };
    // fewest[i]: the fewest parts that spell word[i..n); next[i]: where the first of them ends.
    QList<qsizetype> fewest(n + 1, n + 1), next(n + 1, -1);
    fewest[n] = 0;
    for (qsizetype i = n - 1; i >= 0; --i)
        for (qsizetype k = n; k > i; --k)
            if (fewest[k] + 1 < fewest[i] && spells(i, k)) {
                fewest[i] = fewest[k] + 1;
                next[i] = k;
            }
    // A cut into single syllables tells nothing the spelling does not.
    if (fewest[0] > n || fewest[0] < 2 || fewest[0] == n) return {};
    QStringList parts;
    for (qsizetype i = 0; i < n; i = next[i]) parts.append(hanja.sliced(hanjaBounds[i], hanjaBounds[next[i]] - hanjaBounds[i]));
    return parts;
}

} // namespace

QList<HanjaDictionary::Compound> HanjaDictionary::compounds(const QString& input, int limit, const PartPicks& picks)
{
    const std::optional<Split> head = split(input);
    // No dictionary word starts the text (이순신은): only a seen compound can read it.
    return head ? compounds(*head, limit, picks) : seenCompoundsAt(TextUtil::nfc(input), 0, limit);
}

QList<HanjaDictionary::Compound> HanjaDictionary::compounds(const Split& head, int limit, const PartPicks& picks)
{
    double madeLikelihood = -std::numeric_limits<double>::infinity();
    QList<Compound> made = madeCompounds(head, limit, &madeLikelihood, picks);
    QList<Compound> seen = seenCompoundsAt(head.stem + head.rest, TextUtil::characterCount(head.stem), limit, made,
                                           madeLikelihood);
    if (seen.isEmpty()) return made;
    if (seen.first().afterWord) {
        // The stem and its ending come first, the seen word after them.
        for (Compound& c : seen)
            if (std::none_of(made.cbegin(), made.cend(), [&](const Compound& m) { return m.hangul == c.hangul && m.hanja == c.hanja; }))
                made.append(std::move(c));
        return made;
    }
    for (Compound& m : made) {
        if (m.hangul != seen.first().hangul) break; // another reading of the text: one reading is offered
        if (std::none_of(seen.cbegin(), seen.cend(), [&](const Compound& c) { return c.hanja == m.hanja; }))
            seen.append(std::move(m));
    }
    return seen;
}

QList<HanjaDictionary::Compound> HanjaDictionary::seenCompoundsAt(const QString& text, qsizetype stemLength, int limit,
                                                                  const QList<Compound>& made, double madeLikelihood)
{
    const DictionaryData* d = data();
    if (!d || limit <= 0) return {};
    // The leading run of Hangul syllables, three bytes each in UTF-8: a start of k syllables is the
    // first 3k bytes. Told before the table is read: a shorter word never needs it.
    qsizetype run = 0;
    while (run < text.size() && TextUtil::isHangulSyllable(text[run].unicode())) ++run;
    if (run < 3 || run <= stemLength) return {};
    const SeenCompounds* seen = seenCompounds();
    if (!seen) return {};
    // Encoded by hand, without an allocation: a press of any word asks.
    std::array<char, 3 * kMaxSeenSyllables> utf8{};
    run = std::min(run, kMaxSeenSyllables);
    for (qsizetype i = 0; i < run; ++i) {
        const char16_t c = text[i].unicode();
        utf8[3 * i] = char(0xE0 | c >> 12);
        utf8[3 * i + 1] = char(0x80 | (c >> 6 & 0x3F));
        utf8[3 * i + 2] = char(0x80 | (c & 0x3F));
    }
    for (qsizetype k = run; k >= 3 && k > stemLength; --k) {
        const QStringView rest = QStringView(text).sliced(k);
        const QByteArrayView bytes(utf8.data(), 3 * k);
        if (!seen->contains(bytes)) continue;
        if (!rest.isEmpty() && (d->endings.isEmpty() || !d->endings.isEnding(rest))) continue;
        const QList<SeenCompounds::Spelling> spellings = seen->spellings(bytes, std::numeric_limits<int>::max());
        const QString word = text.first(k);
        struct Option {
            Compound compound;
            quint32 count;
            qsizetype made;  // its place among the made compounds (their number when not there)
            qsizetype parts; // its parts' places among their words' spellings, summed (no parts: last)
        };
        QList<Option> options;
        for (const SeenCompounds::Spelling& s : spellings) {
            Compound c{word, s.hanja, spelledParts(*d, word, s.hanja), rest.toString()};
            const qsizetype madeAt = std::find_if(made.cbegin(), made.cend(), [&](const Compound& m) {
                                         return m.hangul == word && m.hanja == s.hanja;
                                     }) - made.cbegin();
            options.append({std::move(c), s.count, madeAt, std::numeric_limits<qsizetype>::max()});
        }
        // Spellings seen as often go in the order the parts make them, else in their words' order
        // (英國軍 before 寧國君, once each: 英國 is 영국's first spelling).
        for (Option& o : options) {
            if (o.compound.partsHanja.isEmpty()) continue;
            o.parts = 0;
            qsizetype at = 0;
            for (const QString& part : std::as_const(o.compound.partsHanja)) {
                const qsizetype length = TextUtil::characterCount(part);
                const QList<HanjaEntry> entries = candidates(word.sliced(at, length));
                o.parts += std::find_if(entries.cbegin(), entries.cend(), [&](const HanjaEntry& e) { return e.hanja() == part; })
                    - entries.cbegin();
                at += length;
            }
        }
        std::stable_sort(options.begin(), options.end(), [](const Option& a, const Option& b) {
            if (a.count != b.count) return a.count > b.count;
            return a.made != b.made ? a.made < b.made : a.parts < b.parts;
        });
        // Where the stem reads on another way, the seen word may come after the word's own rows:
        // where its rest gives way to a word ending in it (조선후기 is 조선 + 후기, not 조선후 朝鮮侯 + 기),
        const auto piece = [&](qsizetype a, qsizetype b) { return QStringView(text).sliced(a, b - a); };
        bool afterWord = stemLength >= 2 && restEndsALongerWord(*d, stemLength, k, text.size(), piece);
        // else where another reading is far likelier: the stem followed by its own rest,
        // a known ending (not a word end), or by the words of a compound made of other parts,
        // against the seen word's uses per use of the stem followed by its rest. Far: the endings'
        // uses are over all nouns, and a given noun takes an ending at a tenth of the usual rate or
        // less about as often as one in ten nouns (영국인 is mostly 英國人, though 인 follows nouns
        // three times as often as 영국인's share predicts).
        const std::optional<quint32> share = seen->stemShare(bytes);
        if (share && stemLength >= 2 && !afterWord) {
            const double total = d->endings.totalUses();
            const QStringView stemRest = QStringView(text).sliced(stemLength);
            const bool madeReadsIt = !made.isEmpty() && made.first().hangul == word && made.first().rest == rest;
            double rival = madeReadsIt ? -std::numeric_limits<double>::infinity() : madeLikelihood;
            if (d->endings.isEnding(stemRest) && !d->endings.isWordEnd(stemRest))
                rival = std::max(rival, std::log(d->endings.uses(stemRest) / total));
            afterWord = std::log(double(*share) * 1e-6) + std::log(d->endings.uses(rest) / total) + std::log(kFar) < rival;
        }
        QList<Compound> out;
        for (const Option& o : options.mid(0, limit)) {
            out.append(o.compound);
            out.last().afterWord = afterWord;
        }
        return out;
    }
    return {};
}

qsizetype HanjaDictionary::seenCompoundCount()
{
    const SeenCompounds* seen = seenCompounds();
    return seen ? seen->size() : 0;
}

QList<HanjaDictionary::Compound> HanjaDictionary::madeCompounds(const Split& head, int limit, double* likelihood,
                                                                 const PartPicks& picks)
{
    const DictionaryData* d = data();
    if (head.rest.isEmpty() || !d || d->endings.isEmpty() || limit <= 0) return {};
    const CompoundParts* parts = compoundParts();
    if (!parts) return {};
    const QString text = head.stem + head.rest;
    const QList<qsizetype> bounds = TextUtil::graphemeBoundaries(text);
    const qsizetype n = bounds.size() - 1, s = TextUtil::characterCount(head.stem);
    if (s < 2) return {}; // one-character words alone make no compound
    const auto at = [&](qsizetype i, qsizetype k) { return QStringView(text).sliced(bounds[i], bounds[k] - bounds[i]); };

    // Most texts are a word and its ending: no dictionary word begins right after the stem.
    bool partFollows = false;
    for (qsizetype k = s + 1; k <= n && !partFollows; ++k)
        partFollows = d->findKey(at(s, k)) && (k - s >= 2 || parts->uses(at(s, k)) > 0);
    if (!partFollows) return {};

    // The likeliest reading from each position to the end: words, then an ending (nothing after
    // the word is one too), as shares of all the uses of nouns.
    const double total = d->endings.totalUses();
    constexpr double none = -std::numeric_limits<double>::infinity();
    // Whether parts follow is decided by likelihood; which parts, by the fewest, then the likeliest:
    // the table counts each annotated compound cut into its fewest words, and a word common in
    // running text is seldom annotated inside one (신청 in 조정신청 is 申請, not 新 + 廳).
    QList<double> best(n + 1, none);
    QList<qsizetype> next(n + 1, -1); // where the next part ends; -1: the ending starts here
    QList<qsizetype> count(n + 1, 0); // the parts from here on
    for (qsizetype i = n; i >= s; --i) {
        // After a part, a word-end rest is no ending where a word ends in it (조선 + 후기, not
        // 조선 + 후 侯 + 기); right after the stem the split has decided that already.
        // Right after the stem, a word-end rest is mostly a longer word's last syllable and its
        // ending (고정형: 고정 + 형): the split keeps it apart only because no dictionary word is that long.
        const double ending = d->endings.uses(at(i, n));
        const bool wordEnd = i == s && d->endings.isWordEnd(at(i, n));
        if (ending > 0 && !wordEnd && !restEndsALongerWord(*d, s, i, n, at)) best[i] = std::log(ending / total);
        double likeliest = none, fewestScore = none;
        qsizetype fewest = std::numeric_limits<qsizetype>::max(), fewestNext = -1;
        for (qsizetype k = n; k > i; --k) {
            if (best[k] == none || !d->findKey(at(i, k))) continue;
            // A word never seen as a part counts as the least-seen one; a syllable must have been seen.
            const double uses = parts->uses(at(i, k)) + (k - i >= 2 ? parts->unit() : 0);
            if (uses <= 0) continue;
            const double score = best[k] + std::log(uses / total);
            likeliest = std::max(likeliest, score);
            if (count[k] + 1 < fewest || (count[k] + 1 == fewest && score > fewestScore)) {
                fewest = count[k] + 1;
                fewestScore = score;
                fewestNext = k;
            }
        }
        if (likeliest > best[i]) {
            best[i] = likeliest;
            next[i] = fewestNext;
            count[i] = fewest;
        }
    }
    if (next[s] < 0) return {};
    if (likelihood) *likelihood = best[s];
    QList<QString> words{head.stem};
    qsizetype end = s;
    for (; next[end] >= 0; end = next[end]) words.append(at(end, next[end]).toString());
    return spelledCompounds(*this, *parts, words, text.sliced(bounds[end]), limit, picks);
}

const SeenCompounds* HanjaDictionary::seenCompounds()
{
    std::lock_guard lock(m_seenMutex);
    if (!m_seenRead) {
        m_seenRead = true;
        const QString name = QStringLiteral("seen_compounds.tsv");
        if (const std::optional<QByteArray> text = readOptional(name, m_texts ? m_texts->seen : std::nullopt)) {
            auto seen = std::make_unique<SeenCompounds>();
            const QList<SeenCompounds::Skipped> skipped = seen->read(*text);
            // Each bad line is told, up to a few; the rest in the count.
            constexpr qsizetype told = 5;
            for (qsizetype i = 0; i < std::min(told, skipped.size()); ++i)
                Log::write(QStringLiteral("%1 line %2 skipped: %3").arg(name).arg(skipped[i].line).arg(skipped[i].reason));
            if (skipped.size() > told)
                Log::write(QStringLiteral("%1: %2 lines skipped in all").arg(name).arg(skipped.size()));
            Log::write(QStringLiteral("%1 read: %2 spellings, %3 KiB").arg(name).arg(seen->size()).arg(seen->memoryBytes() / 1024));
            m_seen = std::move(seen);
        }
    }
    return m_seen && !m_seen->isEmpty() ? m_seen.get() : nullptr;
}

const CompoundParts* HanjaDictionary::compoundParts()
{
    std::lock_guard lock(m_partsMutex);
    if (!m_partsRead) {
        m_partsRead = true;
        const QString name = QStringLiteral("compound_parts.tsv");
        if (const std::optional<QByteArray> text = readOptional(name, m_texts ? m_texts->parts : std::nullopt)) {
            auto parts = std::make_unique<CompoundParts>();
            if (const qsizetype line = parts->read(*text))
                Log::write(QStringLiteral("%1 is not valid UTF-8 at line %2: no compounds are offered").arg(name).arg(line));
            else
                m_parts = std::move(parts);
        }
    }
    return m_parts && !m_parts->isEmpty() ? m_parts.get() : nullptr;
}
