#include "core/ComposeSteps.h"

#include "core/CandidatePanel.h"
#include "core/SyllableCompose.h"

#include <memory>

namespace ComposeSteps {
namespace {

struct Steps {
    SyllableCompose compose;
    PanelAnchor anchor;
    std::function<void(const QString&)> done;
};

void showStep(const std::shared_ptr<Steps>& steps)
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
    const qint64 session = ++panel.session;
    panel.show(
        rows, steps->compose.header(), steps->anchor, session,
        [steps, rows](const Candidate& row, bool) {
            if (row.kind == CandidateKind::action) steps->compose.nextPage();
            else
                for (qsizetype i = 0; i < rows.size(); ++i)
                    if (rows[i].primary == row.primary) steps->compose.choose(i);
            if (steps->compose.done()) steps->done(steps->compose.hanja());
            else showStep(steps);
        },
        /*expanded=*/true);
    panel.setExtraKeys([steps](quint16 key) {
        if (key == KeyCode::backspace) {
            if (steps->compose.back()) showStep(steps);
            else CandidatePanel::shared().dismiss();
            return true;
        }
        if ((key == KeyCode::tab || key == KeyCode::rightArrow) && steps->compose.hasMore()) {
            steps->compose.nextPage();
            showStep(steps);
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
    showStep(std::make_shared<Steps>(Steps{SyllableCompose(word, dictionary), anchor, std::move(done)}));
}

} // namespace ComposeSteps
