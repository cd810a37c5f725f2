#pragma once

// A selection of several eojeols, taken one word at a time: which eojeols are steps (a dictionary
// word or compound of two syllables or more, as a press on that eojeol alone would find it), the
// answers given so far, and the selection written once with every answer in place and all
// other characters as they were.

#include "core/WordRows.h"

#include <QList>
#include <QString>

#include <optional>

namespace SentenceSteps {

// Past these, the rest of the selection is kept as it is.
inline constexpr qsizetype kMaxChars = 2000;
inline constexpr qsizetype kMaxSteps = 60;

struct Step {
    qsizetype start = 0;  // UTF-16 position of the looked-up word in the text
    qsizetype length = 0; // the eojeol without the punctuation around it
    WordRows::Lookup lookup;
};

struct Steps {
    QList<Step> steps;
    qsizetype leftOut = 0;  // steps past the step limit
    bool cut = false;       // the text runs past the character limit: its end was not looked at
};

// Whether text holds more than one eojeol (words parted by white space).
bool isSentence(const QString& text);
Steps find(const QString& text, HanjaDictionary& dictionary);

// The answers: a replacement for the step's word, or none (kept as it is).
class Walk {
public:
    explicit Walk(qsizetype count);
    qsizetype current() const { return m_current; }
    qsizetype count() const { return m_answers.size(); }
    bool done() const { return m_current >= count(); }
    bool atLast() const { return m_current == count() - 1; }
    void pick(const QString& replacement);
    void skip();
    // One step back, its answer undone; false at the first step.
    bool back();
    const std::optional<QString>& answer(qsizetype step) const { return m_answers[step]; }

private:
    QList<std::optional<QString>> m_answers;
    qsizetype m_current = 0;
};

// The text with each answered step's word replaced.
QString compose(const QString& text, const QList<Step>& steps, const Walk& walk);

// One line: the text around the current step, the `marked` characters of its word in brackets,
// and the count: 대한민국의 [수도]는 서울이다 · 2/2.
QString header(const QString& text, const Step& step, qsizetype marked, qsizetype index, qsizetype count);

} // namespace SentenceSteps
