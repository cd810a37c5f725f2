#include "core/SyllableCompose.h"

#include "base/TextUtil.h"
#include "core/dictionary/InitialSound.h"
#include "core/dictionary/ReadingIndex.h"

#include <algorithm>
#include <numeric>

namespace {

bool isOneHanCharacter(QStringView s)
{
    const QList<uint> points = s.toString().toUcs4();
    return points.size() == 1 && ReadingIndex::isHan(points.first());
}

// The syllables whose characters read as `s` at this place: itself, and those the initial-sound
// rule (리, 니 → 이 at the start) or 렬/률 after a vowel or ㄴ turn into it.
QList<char16_t> sourcesOf(char16_t s, char16_t before)
{
    QList<char16_t> out{s};
    InitialSound::Jamo j = InitialSound::split(s);
    for (int lead : {InitialSound::kR, InitialSound::kN}) {
        j.lead = lead;
        const char16_t t = InitialSound::join(j);
        const bool reads = before ? InitialSound::afterSyllable(before, t) == s : InitialSound::atWordStart(t) == s;
        if (t != s && reads) out.append(t);
    }
    return out;
}

} // namespace

bool SyllableCompose::offers(const QString& word, HanjaDictionary& dictionary)
{
    if (word.size() < kMinSyllables || word.size() > kMaxSyllables) return false;
    for (qsizetype i = 0; i < word.size(); ++i) {
        if (!TextUtil::isHangulSyllable(word.at(i).unicode())) return false;
        bool any = false;
        for (char16_t source : sourcesOf(word.at(i).unicode(), i > 0 ? word.at(i - 1).unicode() : 0))
            for (const HanjaEntry& e : dictionary.candidates(QString(QChar(source))))
                any = any || isOneHanCharacter(e.hanja());
        if (!any) return false;
    }
    return true;
}

QList<SyllableCompose::Choice> SyllableCompose::choicesFor(const QString& word, qsizetype index, HanjaDictionary& dictionary)
{
    const char16_t before = index > 0 ? word.at(index - 1).unicode() : 0;
    QList<Choice> out;
    QList<double> uses;
    for (char16_t source : sourcesOf(word.at(index).unicode(), before)) {
        for (const HanjaEntry& e : dictionary.candidates(QString(QChar(source)))) {
            if (!isOneHanCharacter(e.hanja())) continue;
            const QString hanja = e.hanja().toString();
            if (std::any_of(out.cbegin(), out.cend(), [&](const Choice& c) { return c.hanja == hanja; })) continue;
            out.append(Choice{hanja, dictionary.charGloss(hanja)});
            uses.append(dictionary.characterUses(hanja));
        }
    }
    // First the characters the words spell this syllable with beside the same neighbour (a name's
    // or a term's syllables come in such pairs), then those the compounds the dictionary lacks
    // spell it with most (the words spelled by hand are of their kind: names, places, titles), then
    // the most used in the dictionary's words; the dictionary's order among equals.
    const HanjaDictionary::SyllableCounts counts = dictionary.charactersAt(word, index);
    QList<qsizetype> order(out.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](qsizetype a, qsizetype b) {
        const int nearA = counts.beside.value(out[a].hanja), nearB = counts.beside.value(out[b].hanja);
        if (nearA != nearB) return nearA > nearB;
        const int seenA = counts.inCompounds.value(out[a].hanja), seenB = counts.inCompounds.value(out[b].hanja);
        return seenA != seenB ? seenA > seenB : uses[a] > uses[b];
    });
    QList<Choice> sorted;
    for (qsizetype i : order) sorted.append(out[i]);
    return sorted;
}

SyllableCompose::SyllableCompose(QString word, HanjaDictionary& dictionary)
    : m_word(std::move(word))
    , m_dictionary(dictionary)
{
    load();
}

void SyllableCompose::load()
{
    m_page = 0;
    m_choices = done() ? QList<Choice>() : choicesFor(m_word, index(), m_dictionary);
}

QString SyllableCompose::header() const
{
    const qsizetype at = std::min(index(), m_word.size() - 1);
    return m_word.left(at) + QLatin1Char('[') + m_word.at(at) + QLatin1Char(']') + m_word.mid(at + 1)
        + QStringLiteral(" · %1/%2").arg(at + 1).arg(m_word.size());
}

QList<SyllableCompose::Choice> SyllableCompose::page() const { return m_choices.mid(m_page * kPage, kPage); }

bool SyllableCompose::choose(qsizetype row)
{
    const QList<Choice> shown = page();
    if (done() || row < 0 || row >= shown.size()) return false;
    m_chosen.append(shown[row].hanja);
    load();
    return true;
}

void SyllableCompose::nextPage()
{
    if (!hasMore()) return;
    m_page = (m_page + 1) * kPage < m_choices.size() ? m_page + 1 : 0;
}

bool SyllableCompose::back()
{
    if (m_chosen.isEmpty()) return false;
    m_chosen.removeLast();
    load();
    return true;
}
