#include "core/ComposeSteps.h"

#include "core/CandidatePanel.h"
#include "core/SyllableCompose.h"

#include <algorithm>
#include <memory>

namespace ComposeSteps {
namespace {

struct Steps {
    SyllableCompose compose;
    PanelAnchor anchor;
    std::function<void(const QString&)> done;
};

// Takes row i of the step shown (the row after the nine turns the page).
void take(const std::shared_ptr<Steps>& steps, qsizetype i, bool more)
{
    if (more) steps->compose.nextPage();
    else steps->compose.choose(i);
}

// `inPlace`: the panel is still up with the last step (a key took a row), so the step replaces its
// rows without closing it, and keeps the keyboard; a click closed it.
void showStep(const std::shared_ptr<Steps>& steps, bool inPlace = false)
{
    CandidatePanel& panel = CandidatePanel::shared();
    QList<Candidate> rows;
    for (const SyllableCompose::Choice& c : steps->compose.page()) {
        Candidate row;
        row.primary = c.hanja;
        row.secondary = c.gloss;
        row.replacement = c.hanja;
        row.kind = CandidateKind::hanja;
        rows.append(row);
    }
    if (steps->compose.hasMore()) {
        Candidate more;
        more.primary = moreText;
        more.kind = CandidateKind::action;
        rows.append(more);
    }
    const qint64 session = inPlace ? panel.session : ++panel.session;
    panel.show(
        rows, steps->compose.header(), steps->anchor, session,
        [steps, rows](const Candidate& row, bool) {
            for (qsizetype i = 0; i < rows.size(); ++i)
                if (rows[i].primary == row.primary) take(steps, i, row.kind == CandidateKind::action);
            if (steps->compose.done()) steps->done(steps->compose.hanja());
            else showStep(steps);
        },
        /*expanded=*/true);
    panel.setExtraKeys([steps, rows](quint16 key) {
        const auto digit = std::find(CandidatePanel::digitKeys.begin(), CandidatePanel::digitKeys.end(), key);
        const qsizetype i = key == KeyCode::returnKey || key == KeyCode::keypadEnter ? 0 : digit - CandidatePanel::digitKeys.begin();
        if (i < qsizetype(CandidatePanel::digitKeys.size()) || key == KeyCode::returnKey || key == KeyCode::keypadEnter) {
            if (i >= rows.size()) return true;
            take(steps, i, rows[i].kind == CandidateKind::action);
            if (!steps->compose.done()) {
                showStep(steps, true);
                return true;
            }
            CandidatePanel::shared().dismiss();
            steps->done(steps->compose.hanja());
            return true;
        }
        if (key == KeyCode::backspace) {
            if (steps->compose.back()) showStep(steps, true);
            else CandidatePanel::shared().dismiss();
            return true;
        }
        if ((key == KeyCode::tab || key == KeyCode::rightArrow) && steps->compose.hasMore()) {
            steps->compose.nextPage();
            showStep(steps, true);
            return true;
        }
        return false;
    });
}

} // namespace

Candidate row(const QString& word, const QString& rest)
{
    Candidate c;
    c.primary = rowText;
    c.replacement = rest;
    c.kind = CandidateKind::compose;
    c.word = word;
    return c;
}

void start(const QString& word, const PanelAnchor& anchor, HanjaDictionary& dictionary,
           std::function<void(const QString& hanja)> done)
{
    showStep(std::make_shared<Steps>(Steps{SyllableCompose(word, dictionary), anchor, std::move(done)}), true);
}

} // namespace ComposeSteps
