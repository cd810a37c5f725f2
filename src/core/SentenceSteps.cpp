#include "core/SentenceSteps.h"

#include "base/TextUtil.h"
#include "core/PickHistory.h"
#include "core/ReadingText.h"

#include <QRegularExpression>

namespace {

// Characters of the header on either side of the marked word.
constexpr qsizetype kAround = 6;

bool isSyllable(QChar c) { return TextUtil::isHangulSyllable(c.unicode()); }

// Quotes, brackets and stops around a word (“수도”는, 서울이다.), not digits or letters; the letter
// ㆍ (arae-a) stands for the middle dot in official text (도로ㆍ구거).
bool isPunctuation(QChar c) { return c.isPunct() || c.isSymbol() || c == QChar(0x318D); }

// What closes a quoted or bracketed word: what follows it in the eojeol is its ending ('가천'은,
// 《구당서》에), not a word. Other marks part words (금사·무사, 않았다.악사는).
bool isClosing(QChar c)
{
    return c.category() == QChar::Punctuation_Close || c.category() == QChar::Punctuation_FinalQuote
        || c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('>');
}

// Brackets and quotes, which hold a word to the piece beside it: 수도(首都), 首都(수도).
bool isBracket(QChar c)
{
    const QChar::Category k = c.category();
    return k == QChar::Punctuation_Open || k == QChar::Punctuation_Close || k == QChar::Punctuation_InitialQuote
        || k == QChar::Punctuation_FinalQuote || c == QLatin1Char('\'') || c == QLatin1Char('"');
}

// Whether the piece of the eojeol [from, to) that brackets alone part from `at` on (in steps of
// `step`) holds Han: the word beside it is annotated.
bool hanBeside(const QString& text, qsizetype at, qsizetype step, qsizetype from, qsizetype to)
{
    for (; at >= from && at < to && isPunctuation(text.at(at)); at += step)
        if (!isBracket(text.at(at))) return false;
    qsizetype other = at;
    while (other >= from && other < to && !isPunctuation(text.at(other))) other += step;
    const qsizetype a = std::min(at, other - step), b = std::max(at, other - step);
    return at >= from && at < to && ReadingText::hasHan(QStringView(text).mid(a, b - a + 1));
}

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
        // Marks inside an eojeol part its words (선감ㆍ교감ㆍ보정, 「성모」에서): each piece between
        // them is looked up as a selection of it alone would be.
        bool closed = false; // the marks before the piece only close the piece before it
        bool first = true;
        for (qsizetype a = i; a < e;) {
            bool closingOnly = true;
            for (; a < e && isPunctuation(text.at(a)); ++a) closingOnly = closingOnly && isClosing(text.at(a));
            qsizetype b = a;
            while (b < e && !isPunctuation(text.at(b))) ++b;
            if (a == b) break;
            closed = !first && closingOnly;
            first = false;
            const QString word = text.mid(a, b - a);
            const bool annotated = ReadingText::hasHan(word) || hanBeside(text, a - 1, -1, i, e) || hanBeside(text, b, 1, i, e);
            const qsizetype start = a;
            a = b;
            if (closed || !isSyllable(word.front()) || annotated) continue;
            std::optional<WordRows::Lookup> lookup = WordRows::lookUp(word, dictionary, picks);
            if (!lookup) continue;
            const bool longStem = !lookup->entries.isEmpty() && lookup->head.stem.size() >= 2;
            if (!longStem && lookup->compounds.isEmpty()) continue;
            if (found.steps.size() >= kMaxSteps) {
                ++found.leftOut;
                continue;
            }
            found.steps.append(Step{start, b - start, std::move(*lookup)});
        }
        i = e;
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
