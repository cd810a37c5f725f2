#include "core/SentenceSteps.h"

#include "base/TextUtil.h"
#include "core/PickHistory.h"
#include "core/ReadingText.h"

#include <QRegularExpression>

namespace {

// Characters of the header on either side of the marked word.
constexpr qsizetype kAround = 6;

bool isSyllable(QChar c) { return TextUtil::isHangulSyllable(c.unicode()); }

// Quotes, brackets and stops around a word (“수도”는, 서울이다.), not digits or letters.
bool isPunctuation(QChar c) { return c.isPunct() || c.isSymbol(); }

// One line, whatever breaks or tabs the text holds.
QString oneLine(QString text)
{
    for (QChar& c : text)
        if (c.isSpace()) c = QLatin1Char(' ');
    return text;
}

} // namespace

namespace SentenceSteps {

bool isSentence(const QString& text)
{
    return TextUtil::trimmed(text).split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts).size() > 1;
}

Steps find(const QString& text, HanjaDictionary& dictionary)
{
    Steps found;
    const qsizetype end = std::min(text.size(), kMaxChars);
    found.cut = text.size() > kMaxChars;
    const HanjaDictionary::PartPicks picks = PickHistory::shared().pickedSpellings(); // read once

    qsizetype i = 0;
    while (i < end) {
        if (text.at(i).isSpace()) {
            ++i;
            continue;
        }
        qsizetype e = i;
        while (e < text.size() && !text.at(e).isSpace()) ++e;
        if (e > end) break; // an eojeol the limit cuts is kept whole
        qsizetype a = i, b = e;
        while (a < b && isPunctuation(text.at(a))) ++a;
        while (b > a && isPunctuation(text.at(b - 1))) --b;
        const QString word = text.mid(a, b - a);
        const bool annotated = ReadingText::hasHan(QStringView(text).mid(i, e - i));
        i = e;
        // An annotated word (수도(首都)는) is written as the writer wants it already.
        if (word.isEmpty() || !isSyllable(word.front()) || annotated) continue;
        std::optional<WordRows::Lookup> lookup = WordRows::lookUp(word, dictionary, picks);
        if (!lookup) continue;
        const bool longStem = !lookup->entries.isEmpty() && lookup->head.stem.size() >= 2;
        if (!longStem && lookup->compounds.isEmpty()) continue;
        if (found.steps.size() >= kMaxSteps) {
            ++found.leftOut;
            continue;
        }
        found.steps.append(Step{a, b - a, std::move(*lookup)});
    }
    return found;
}

Walk::Walk(qsizetype count)
    : m_answers(count)
{
}

void Walk::pick(const QString& replacement)
{
    if (done()) return;
    m_answers[m_current++] = replacement;
}

void Walk::skip()
{
    if (done()) return;
    m_answers[m_current++].reset();
}

bool Walk::back()
{
    if (m_current == 0) return false;
    m_answers[--m_current].reset();
    return true;
}

QString compose(const QString& text, const QList<Step>& steps, const Walk& walk)
{
    QString result;
    qsizetype at = 0;
    for (qsizetype s = 0; s < steps.size() && s < walk.count(); ++s) {
        if (!walk.answer(s)) continue;
        result += text.mid(at, steps[s].start - at) + *walk.answer(s);
        at = steps[s].start + steps[s].length;
    }
    return result + text.mid(at);
}

QString header(const QString& text, const Step& step, qsizetype marked, qsizetype index, qsizetype count)
{
    const qsizetype from = std::max<qsizetype>(0, step.start - kAround);
    const qsizetype wordEnd = step.start + step.length;
    const qsizetype to = std::min(text.size(), wordEnd + kAround);
    const qsizetype markEnd = step.start + std::min(marked, step.length);
    QString line = (from > 0 ? QStringLiteral("…") : QString()) + text.mid(from, step.start - from) + QLatin1Char('[')
                 + text.mid(step.start, markEnd - step.start) + QLatin1Char(']') + text.mid(markEnd, to - markEnd)
                 + (to < text.size() ? QStringLiteral("…") : QString());
    return oneLine(line) + QStringLiteral(" · %1/%2").arg(index + 1).arg(count);
}

} // namespace SentenceSteps
