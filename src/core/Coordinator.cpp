#include "core/Coordinator.h"

#include "base/Notifier.h"
#include "base/TextUtil.h"
#include "core/CandidatePanel.h"
#include "core/PickHistory.h"
#include "core/Ranker.h"
#include "core/TextCapture.h"
#include "core/TextReplacer.h"
#include "core/WritingSettings.h"
#include "platform/Platform.h"

namespace {
const QString kSeparator = QStringLiteral(" · ");
constexpr qsizetype kMaxSyllables = 12;

QString quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

bool allSyllables(const QString& text)
{
    for (QChar c : text)
        if (!TextUtil::isHangulSyllable(c.unicode())) return false;
    return true;
}

PanelAnchor anchorFor(const Capture& cap)
{
    return cap.selectionBounds ? PanelAnchor::selection(*cap.selectionBounds) : PanelAnchor::mouse();
}

// Starts a coroutine that finishes on its own; its frame outlives the returned task.
void detach(QCoro::Task<void> task) { Q_UNUSED(task); }

} // namespace

Coordinator& Coordinator::shared()
{
    static Coordinator* instance = new Coordinator(); // lives for the whole process
    return *instance;
}

void Coordinator::trigger()
{
    CandidatePanel& panel = CandidatePanel::shared();
    if (panel.isVisible()) {
        panel.dismiss();
        return;
    }
    if (busy) return;
    busy = true;
    detach(runSession());
}

QCoro::Task<void> Coordinator::runSession()
{
    Platform& platform = Platform::shared();
    CandidatePanel& panel = CandidatePanel::shared();
    if (!platform.accessibility->isProcessTrusted(false)) {
        if (showOnboarding) showOnboarding();
        busy = false;
        co_return;
    }
    const qint64 session = ++panel.session;
    const std::optional<Capture> cap = co_await TextCapture::capture();
    if (!cap || TextUtil::trimmed(cap->selected).isEmpty()) {
        panel.showNotice(noSelectionNotice, PanelAnchor::mouse(), session);
        busy = false;
        co_return;
    }
    co_await handle(*cap, session);
    busy = false;
}

QCoro::Task<void> Coordinator::handle(Capture cap, qint64 session)
{
    const QString text = TextUtil::trimmed(cap.selected);
    const PanelAnchor anchor = anchorFor(cap);

    // Layout typos come before any dictionary lookup.
    if (const auto suggestion = KeyboardLayoutFix::suggest(text)) {
        co_await offerLayoutFix(cap, text, *suggestion, anchor, session);
        co_return;
    }

    std::optional<HanjaDictionary::Split> split;
    QList<HanjaEntry> entries;
    if (allSyllables(text) && TextUtil::characterCount(text) <= kMaxSyllables) split = dictionary->split(text);
    if (split) entries = dictionary->candidates(split->stem);
    if (entries.isEmpty()) {
        co_await cleanupFallback(cap, text, anchor, session);
        co_return;
    }
    co_await dictionaryPath(cap, *split, entries, anchor, session);
}

QCoro::Task<void> Coordinator::dictionaryPath(Capture cap, HanjaDictionary::Split split, QList<HanjaEntry> entries,
                                              PanelAnchor anchor, qint64 session)
{
    CandidatePanel& panel = CandidatePanel::shared();
    const RankEngine headerEngine = co_await engineInForce();
    const QString label = headerEngine == RankEngine::model ? QStringLiteral("AI") : QStringLiteral("빈도순");
    const QString header = quoted(split.stem) + split.rest + kSeparator + label + kSeparator + ReplacementFormat::preview(WritingSettings::format());
    panel.showLoading(header, anchor, session);

    // Ranked (the model's choices first), merged to 40 rows at most, reordered by the picks.
    const Ranker::Arrangement arranged = co_await Ranker::arrange(split.stem, entries, cap.context);
    const MeaningStyle style = WritingSettings::meaningStyle();
    const Format format = WritingSettings::format();
    QList<Candidate> rows;
    for (const HanjaEntry& e : arranged.entries) {
        Candidate row;
        row.primary = e.hanja().toString();
        row.secondary = MeaningLine::text(e, style, arranged.meanings, *dictionary);
        row.replacement = ReplacementFormat::example(format, split.stem, e.hanja()) + split.rest;
        row.kind = CandidateKind::hanja;
        row.word = split.stem;
        rows.append(row);
    }
    present(rows, header, anchor, cap, session);
}

void Coordinator::present(const QList<Candidate>& rows, const QString& header, const PanelAnchor& anchor,
                          const Capture& cap, qint64 session)
{
    CandidatePanel& panel = CandidatePanel::shared();
    if (panel.session != session) return; // dismissed or overtaken while we waited
    panel.show(rows, header, anchor, session, [this, cap, anchor](const Candidate& row, bool optionHeld) {
        picked(row, optionHeld, cap, anchor);
    });
}

void Coordinator::picked(const Candidate& row, bool optionHeld, const Capture& cap, const PanelAnchor& anchor)
{
    Platform& platform = Platform::shared();
    if (row.kind == CandidateKind::action) {
        detach(cleanupFromOffer(cap, anchor));
        return;
    }
    // Recorded before copy or replace: a copied spelling was chosen too.
    if (row.kind == CandidateKind::hanja) PickHistory::shared().record(row.word, row.primary, platform.clock->now());
    if (optionHeld) {
        platform.pasteboard->clearContents();
        platform.pasteboard->setString(row.primary);
        CandidatePanel& panel = CandidatePanel::shared();
        const qint64 session = ++panel.session;
        panel.showNotice(QStringLiteral("복사됨 · ") + TextUtil::displayCut(row.primary), anchor, session);
        return;
    }
    detach(replaceAfterPick(cap, row.replacement));
}

QCoro::Task<void> Coordinator::replaceAfterPick(Capture cap, QString replacement)
{
    // Focus goes back to the application once the panel has closed.
    co_await Platform::shared().clock->sleep(50);
    const bool replaced = co_await TextReplacer::replace(cap, replacement);
    if (replaced) {
        Notifier::shared().post(Notifications::didReplace);
        co_return;
    }
    CandidatePanel& panel = CandidatePanel::shared();
    const qint64 session = ++panel.session;
    panel.showNotice(appChangedNotice, PanelAnchor::mouse(), session);
}

QCoro::Task<void> Coordinator::offerLayoutFix(Capture cap, QString text, KeyboardLayoutFix::Suggestion suggestion,
                                              PanelAnchor anchor, qint64 session)
{
    QList<Candidate> rows;
    Candidate fix;
    fix.primary = suggestion.text;
    fix.secondary = suggestion.secondary();
    fix.replacement = suggestion.text;
    fix.kind = CandidateKind::layout;
    rows.append(fix);
    // Only the plain space makes a second word; the model is asked only then.
    bool offerCleanup = false;
    if (cap.selected.split(QLatin1Char(' '), Qt::SkipEmptyParts).size() >= 2) {
        const RankEngine engine = co_await engineInForce();
        offerCleanup = engine == RankEngine::model;
    }
    if (offerCleanup) {
        Candidate offer;
        offer.primary = QStringLiteral("오타 정리…");
        offer.secondary = QStringLiteral("문맥을 보고 맞춤법·띄어쓰기 교정");
        offer.kind = CandidateKind::action;
        rows.append(offer);
    }
    present(rows, QStringLiteral("자판 되돌리기 · ") + quoted(TextUtil::displayCut(text)), anchor, cap, session);
}

QCoro::Task<void> Coordinator::cleanupFallback(Capture cap, QString text, PanelAnchor anchor, qint64 session)
{
    const RankEngine engine = co_await engineInForce();
    if (engine != RankEngine::model) {
        CandidatePanel::shared().showNotice(noModelNotice, anchor, session);
        co_return;
    }
    co_await cleanUp(cap, anchor, session, text, QStringLiteral("오타 정리 · AI"),
                     QStringLiteral("원문: ") + TextUtil::displayCut(cap.selected));
}

QCoro::Task<void> Coordinator::cleanupFromOffer(Capture cap, PanelAnchor anchor)
{
    // The pick closed the panel; the cleanup is a session of its own.
    const qint64 session = ++CandidatePanel::shared().session;
    co_await cleanUp(cap, anchor, session, cap.selected, QStringLiteral("오타 정리"), QString());
}

QCoro::Task<void> Coordinator::cleanUp(Capture cap, PanelAnchor anchor, qint64 session, QString shownText,
                                       QString resultHeader, QString secondary)
{
    CandidatePanel& panel = CandidatePanel::shared();
    panel.showLoading(QStringLiteral("오타 정리 · ") + quoted(TextUtil::displayCut(shownText)), anchor, session);
    const std::optional<QString> corrected = co_await Ranker::cleanTypos(cap.selected, cap.context);
    if (!corrected) {
        panel.showNotice(nothingToFixNotice, anchor, session);
        co_return;
    }
    Candidate row;
    row.primary = *corrected;
    row.secondary = secondary;
    row.replacement = *corrected;
    row.kind = CandidateKind::proofread;
    present({row}, resultHeader, anchor, cap, session);
}
