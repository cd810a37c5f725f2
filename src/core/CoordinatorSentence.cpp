// The coordinator's way through a selection of several eojeols: each Sino-Korean word is a step
// with the rows a press on it alone would offer; the answers are written back in one go.

#include "core/Coordinator.h"

#include "base/Log.h"
#include "base/TextUtil.h"
#include "core/CandidatePanel.h"
#include "core/PickHistory.h"
#include "core/SentenceSteps.h"
#include "core/TextCapture.h"
#include "platform/Platform.h"

namespace {

const QString kSeparator = QStringLiteral(" · ");
// The model reads this much of the selection on either side of a step's word.
constexpr qsizetype kContextRadius = 150;

void detach(QCoro::Task<void> task) { Q_UNUSED(task); }

Candidate skipRow()
{
    Candidate row;
    row.primary = QStringLiteral("건너뛰기");
    row.secondary = QStringLiteral("한글 그대로");
    row.kind = CandidateKind::action;
    return row;
}

// With a model, a sentence may have been selected for its typos rather than its words: the first
// step offers the whole selection's cleanup, which ends the steps.
Candidate cleanupOffer()
{
    Candidate row;
    row.primary = QStringLiteral("오타 정리…");
    row.secondary = QStringLiteral("문장 전체를 문맥으로 교정");
    row.kind = CandidateKind::action;
    row.word = QStringLiteral("cleanup");
    return row;
}

bool isCleanupOffer(const Candidate& row)
{
    return row.kind == CandidateKind::action && row.word == cleanupOffer().word;
}

} // namespace

struct Coordinator::SentenceRun {
    Capture cap;
    PanelAnchor anchor;
    qint64 session = 0;
    QString text;
    SentenceSteps::Steps found;
    SentenceSteps::Walk walk{0};
    std::shared_ptr<LanguageModel> model;
    QList<std::optional<QList<Candidate>>> rows; // each step's, once arranged
    QList<Candidate> chosen;                     // the row answered at each step, learned at the end
};

QCoro::Task<bool> Coordinator::sentencePath(Capture cap, QString text, PanelAnchor anchor, qint64 session)
{
    SentenceSteps::Steps found = SentenceSteps::find(text, *dictionary);
    if (found.steps.isEmpty()) co_return false;
    auto run = std::make_shared<SentenceRun>();
    run->cap = std::move(cap);
    run->anchor = anchor;
    run->session = session;
    run->text = text;
    run->walk = SentenceSteps::Walk(found.steps.size());
    run->rows.resize(found.steps.size());
    run->chosen.resize(found.steps.size());
    run->found = std::move(found);
    Log::write(QStringLiteral("문장: %1단계").arg(run->found.steps.size()));
    run->model = co_await availableModel();
    // Without a model each step's rows are arranged as it is shown, within the key's turn (the
    // dictionary answers in microseconds): keys typed ahead meet their steps' rows, and the first
    // step does not wait for all the others. A model's steps are asked behind the first, in order.
    if (run->model) {
        showStep(run); // loading, with the sentence
        co_await arrangeStep(run, 0);
    }
    showStep(run);
    if (run->model) detach(endCleanly(arrangeLaterSteps(run)));
    co_return true;
}

QCoro::Task<void> Coordinator::arrangeStep(std::shared_ptr<SentenceRun> run, qsizetype step)
{
    const SentenceSteps::Step& s = run->found.steps[step];
    const qsizetype from = std::max<qsizetype>(0, s.start - kContextRadius);
    const QString context = run->text.mid(from, s.start + s.length + kContextRadius - from);
    const WordRows::Arranged arranged = co_await WordRows::arrange(run->model, s.lookup, context, *dictionary);
    run->rows[step] = arranged.rows;
}

QCoro::Task<void> Coordinator::arrangeLaterSteps(std::shared_ptr<SentenceRun> run)
{
    CandidatePanel& panel = CandidatePanel::shared();
    co_await Platform::shared().clock->sleep(0); // the first step is drawn first
    for (qsizetype step = 1; step < run->rows.size(); ++step) {
        if (panel.session != run->session) co_return; // closed: nobody waits for the rest
        co_await arrangeStep(run, step);
        // The user got there first and waits on the loading line.
        if (panel.session == run->session && run->walk.current() == step) showStep(run);
    }
    dictionary->releaseResident();
}

void Coordinator::showStep(const std::shared_ptr<SentenceRun>& run)
{
    CandidatePanel& panel = CandidatePanel::shared();
    const qsizetype i = run->walk.current();
    const SentenceSteps::Step& step = run->found.steps[i];
    if (!run->model && !run->rows[i]) {
        run->rows[i] = WordRows::arrangeByFrequency(step.lookup, *dictionary).rows;
        // As after a word's lookup: the index pages read (and the steps' search) go back to the page cache.
        dictionary->releaseResident();
    }
    const std::optional<QList<Candidate>>& rows = run->rows[i];
    // The word the first row writes is the one marked (a compound may run past the stem).
    const QString word = rows && !rows->isEmpty() ? rows->first().word : WordRows::firstWord(step.lookup);
    QString header = SentenceSteps::header(run->text, step, word.size(), i, run->found.steps.size());
    if (run->found.leftOut > 0) header += kSeparator + QStringLiteral("%1개는 그대로 둠").arg(run->found.leftOut);
    if (run->found.cut)
        header += kSeparator + QStringLiteral("%1자 뒤는 그대로 둠").arg(SentenceSteps::kMaxChars);
    if (!rows) {
        panel.showLoading(header, run->anchor, run->session, /*stepping=*/true);
        return;
    }
    QList<Candidate> list = *rows;
    if (run->model && i == 0) list.append(cleanupOffer());
    list.append(skipRow());
    std::weak_ptr<SentenceRun> weak = run;
    const auto withRun = [weak](auto action) {
        return [weak, action] {
            if (const auto r = weak.lock(); r && CandidatePanel::shared().session == r->session) action(r);
        };
    };
    CandidatePanel::Stepping stepping;
    stepping.skip = withRun([this](const std::shared_ptr<SentenceRun>& r) { stepAnswered(r, skipRow(), false); });
    stepping.back = withRun([this](const std::shared_ptr<SentenceRun>& r) {
        if (!r->walk.back()) return;
        showStep(r);
    });
    // The panel holds the run; the run holds no panel callback.
    panel.showStep(list, header, run->anchor, run->session,
                   [this, run](const Candidate& row, bool optionHeld) { stepAnswered(run, row, optionHeld); },
                   std::move(stepping));
}

void Coordinator::stepAnswered(const std::shared_ptr<SentenceRun>& run, const Candidate& row, bool optionHeld)
{
    if (run->walk.done() || CandidatePanel::shared().session != run->session) return;
    const bool last = run->walk.atLast();
    if (isCleanupOffer(row)) {
        detach(endCleanly(cleanupFromOffer(run->cap, run->anchor)));
        return;
    }
    if (row.kind == CandidateKind::action) {
        run->walk.skip();
    } else {
        run->chosen[run->walk.current()] = row;
        run->walk.pick(row.replacement);
    }
    if (run->walk.done()) finishSentence(run, optionHeld && last);
    else showStep(run);
}

void Coordinator::finishSentence(const std::shared_ptr<SentenceRun>& run, bool copy)
{
    Platform& platform = Platform::shared();
    CandidatePanel& panel = CandidatePanel::shared();
    panel.dismiss();
    const QString result = SentenceSteps::compose(run->text, run->found.steps, run->walk);
    bool answered = false;
    for (qsizetype s = 0; s < run->walk.count(); ++s) {
        if (!run->walk.answer(s)) continue;
        answered = true;
        const Candidate& row = run->chosen[s];
        if (row.kind == CandidateKind::hanja) PickHistory::shared().record(row.word, row.primary, platform.clock->now());
    }
    if (copy) {
        TextCapture::stopWatchingLateCopy();
        platform.pasteboard->clearContents();
        platform.pasteboard->setString(result);
        const qint64 session = ++panel.session;
        panel.showNotice(QStringLiteral("복사됨 · ") + TextUtil::displayCut(result), run->anchor, session);
        return;
    }
    if (!answered) return; // every word kept: nothing to write
    detach(endCleanly(writeSentence(run->cap, result)));
}

QCoro::Task<void> Coordinator::writeSentence(Capture cap, QString text)
{
    // The steps took a while: a selection the application no longer holds is not written over.
    if (cap.viaAccessibility && cap.element) {
        const AXResult<AXValue> read = co_await Platform::shared().accessibility->copyAttributeValueAsync(
            cap.element, Accessibility::selectedTextAttribute);
        const auto now = AX::as<QString>(read);
        if (now && *now != cap.selected) {
            Log::write(QStringLiteral("문장: 선택이 바뀌어 쓰지 않음"));
            CandidatePanel& panel = CandidatePanel::shared();
            const qint64 session = ++panel.session;
            panel.showNotice(appChangedNotice, PanelAnchor::mouse(), session);
            co_return;
        }
    }
    // A whole sentence is undone with one step: an accessibility write deletes and then inserts,
    // which GTK's text views keep as two.
    co_await replaceAfterPick(cap, text, /*oneUndoStep=*/true);
}
