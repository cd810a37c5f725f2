#include "core/Coordinator.h"

#include "base/Log.h"
#include "base/Notifier.h"
#include "base/TextUtil.h"
#include "core/CandidatePanel.h"
#include "core/ClipboardSnapshot.h"
#include "core/ComposeSteps.h"
#include "core/PickHistory.h"
#include "core/Ranker.h"
#include "core/ReadingText.h"
#include "core/SentenceSteps.h"
#include "core/TextCapture.h"
#include "core/SyllableCompose.h"
#include "core/TextReplacer.h"
#include "core/UserWords.h"
#include "core/WritingSettings.h"
#include "core/WordRows.h"
#include "platform/Platform.h"

namespace {
const QString kSeparator = QStringLiteral(" · ");

QString quoted(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

// The word is looked up trimmed, but the blanks around it were selected too (a triple-click takes
// the line break, a drag the space after the word): they stay where they were. A terminal pastes
// into the program running there, where a line break would run the line: it gets none.
QString keepingBlanks(const QString& selected, const QString& replacement, bool terminal)
{
    qsizetype start = 0, end = selected.size();
    while (start < end && selected.at(start).isSpace()) ++start;
    while (end > start && selected.at(end - 1).isSpace()) --end;
    QString before = selected.left(start), after = selected.mid(end);
    if (terminal) {
        const auto lineBreak = [](QChar c) { return c == QLatin1Char('\n') || c == QLatin1Char('\r'); };
        before.removeIf(lineBreak);
        after.removeIf(lineBreak);
    }
    return before + replacement + after;
}

PanelAnchor anchorFor(const Capture& cap)
{
    return cap.selectionBounds ? PanelAnchor::selection(*cap.selectionBounds) : PanelAnchor::mouse();
}

// The panel held the keyboard: the application takes its focus back once the grab is gone, and
// hands it on to its input method. A write before that lands in a text field that is still being
// refocused (under ibus it is read back unchanged, and typed over later). So the write waits for
// the application to name its focused text again after the loss; one that still names it at the
// pick has not yet read that it lost it (a busy one), or keeps it under grabs (then, as long as a
// desktop takes to hand the focus back, nothing comes). The paste path waits for nothing here: its
// keys queue behind the focus change.
QCoro::Task<void> focusBack(const Capture& cap)
{
    constexpr qint64 kLossMs = 50, kBackMs = 250, kPollMs = 2;
    Platform& platform = Platform::shared();
    const std::shared_ptr<Accessibility> ax = platform.accessibility;
    if (!cap.viaAccessibility || !cap.element) co_return;
    const AXElementRef app = co_await ax->applicationAsync(cap.pid);
    if (!app) co_return;
    const auto focused = [ax, app]() -> QCoro::Task<bool> {
        const AXResult<AXValue> read = co_await ax->copyAttributeValueAsync(app, Accessibility::focusedUIElementAttribute);
        co_return AX::as<AXElementRef>(read).has_value();
    };
    const qint64 start = platform.clock->monotonicMs();
    while (co_await focused()) {
        if (platform.clock->monotonicMs() - start >= kLossMs) co_return;
        co_await platform.clock->sleep(kPollMs);
    }
    while (!co_await focused()) {
        if (platform.clock->monotonicMs() - start >= kBackMs) {
            Log::write(QStringLiteral("치환: 앱이 %1 ms 안에 포커스를 되찾지 않았지만 씀").arg(kBackMs));
            co_return;
        }
        co_await platform.clock->sleep(kPollMs);
    }
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

namespace {

// Awaits a step and hands back what went wrong in it, if anything: a failure inside a detached
// coroutine would otherwise vanish with its frame, and the session with it.
QCoro::Task<std::optional<QString>> failureOf(QCoro::Task<void> step)
{
    std::optional<QString> failure;
    try {
        co_await std::move(step);
    } catch (const std::exception& e) {
        failure = QString::fromLocal8Bit(e.what());
    } catch (...) {
        failure = QStringLiteral("unknown exception");
    }
    co_return failure;
}

} // namespace

QCoro::Task<void> Coordinator::runSession()
{
    qint64 session = 0; // 0 until the session is opened
    const std::optional<QString> failure = co_await failureOf(sessionSteps(session));
    if (failure) reportFailure(*failure, session);
    busy = false;
}

QCoro::Task<void> Coordinator::endCleanly(QCoro::Task<void> step)
{
    ++m_pickSteps;
    const std::optional<QString> failure = co_await failureOf(std::move(step));
    --m_pickSteps;
    if (failure) reportFailure(*failure, 0);
}

void Coordinator::reportFailure(const QString& failure, qint64 session)
{
    Log::write(QStringLiteral("세션이 오류로 끝남: ") + failure);
    CandidatePanel& panel = CandidatePanel::shared();
    // A session the user dismissed meanwhile stays out of sight; one not yet opened gets its own.
    if (session == 0) session = ++panel.session;
    panel.showNotice(failedNotice, PanelAnchor::mouse(), session);
}

QCoro::Task<void> Coordinator::sessionSteps(qint64& session)
{
    Platform& platform = Platform::shared();
    CandidatePanel& panel = CandidatePanel::shared();
    // With the desktop's accessibility switch off, the copy chord (PRIMARY in a terminal) reads
    // the selection and a paste writes the pick: both work without it.
    const bool accessible = platform.accessibility->isProcessTrusted(false);
    if (!accessible) Log::write(QStringLiteral("접근성이 꺼져 있어 복사와 붙여넣기로 읽고 바꿈"));
    session = ++panel.session;
    QString why;
    const std::optional<Capture> cap = co_await TextCapture::capture(accessible, &why);
    if (cap && cap->secure) {
        panel.showNotice(passwordFieldNotice, PanelAnchor::mouse(), session);
        co_return;
    }
    if (!cap || TextUtil::trimmed(cap->selected).isEmpty()) {
        panel.showNotice(why.isEmpty() ? noSelectionNotice : why, PanelAnchor::mouse(), session);
        // The notice holds the keyboard and the pointer: once it is gone (a key or a click went
        // through it, or its time ran out) a copy is the user's own, not a late answer.
        TextCapture::watchLateCopyWhile([&panel, token = session] { return panel.session == token; });
        co_return;
    }
    co_await handle(*cap, session);
}

QCoro::Task<void> Coordinator::handle(Capture cap, qint64 session)
{
    // Composed form first: decomposed Hangul (U+1109 U+116E …) is the same word.
    const QString text = TextUtil::trimmed(cap.selected).normalized(QString::NormalizationForm_C);
    const PanelAnchor anchor = anchorFor(cap);

    // Hanja are read, as they stand: a compatibility ideograph is written back as it was.
    if (ReadingText::hasHan(text)) {
        readingPath(cap, TextUtil::trimmed(cap.selected), anchor, session);
        co_return;
    }

    // Layout typos come before any dictionary lookup.
    if (const auto suggestion = KeyboardLayoutFix::suggest(text)) {
        co_await offerLayoutFix(cap, text, *suggestion, anchor, session);
        co_return;
    }

    if (SentenceSteps::isSentence(text) && co_await sentencePath(cap, text, anchor, session)) co_return;

    const std::optional<WordRows::Lookup> lookup =
        WordRows::lookUp(text, *dictionary, PickHistory::shared().pickedSpellings());
    if (!lookup) {
        co_await cleanupFallback(cap, text, anchor, session);
        co_return;
    }
    co_await dictionaryPath(cap, *lookup, anchor, session);
}

QCoro::Task<void> Coordinator::dictionaryPath(Capture cap, WordRows::Lookup lookup, PanelAnchor anchor, qint64 session)
{
    CandidatePanel& panel = CandidatePanel::shared();
    // One availability check decides the engine for the whole list; the header then says what
    // really ranked it (a model that fails leaves the frequency order).
    const std::shared_ptr<LanguageModel> model = co_await availableModel();
    const QString preview = ReplacementFormat::preview(WritingSettings::format());
    // The header names the word the first row writes.
    const auto headerFor = [&](RankEngine engine, const QString& firstWord) {
        const QString label = engine == RankEngine::model ? QStringLiteral("AI") : QStringLiteral("빈도순");
        return WordRows::headerWord(lookup, firstWord) + kSeparator + label + kSeparator + preview;
    };
    panel.showLoading(headerFor(model ? RankEngine::model : RankEngine::frequency, WordRows::firstWord(lookup)),
                      anchor, session);
    const WordRows::Arranged arranged = co_await WordRows::arrange(model, lookup, cap.context, *dictionary);
    QList<Candidate> rows = arranged.rows;
    if (SyllableCompose::offers(lookup.head.stem, *dictionary))
        rows.append(ComposeSteps::row(lookup.head.stem, lookup.head.rest));
    present(rows, headerFor(arranged.engine, arranged.rows.isEmpty() ? lookup.head.stem : arranged.rows.first().word),
            anchor, cap, session);
}

void Coordinator::readingPath(const Capture& cap, const QString& text, const PanelAnchor& anchor, qint64 session)
{
    using ReadingText::Form;
    const ReadingText::Reading reading = ReadingText::read(text, *dictionary);
    const QString unknown = reading.unknown.join(QString());
    if (reading.words.isEmpty()) {
        CandidatePanel::shared().showNotice(unreadableNotice + TextUtil::displayCut(unknown), anchor, session);
        return;
    }
    const bool glosses = WritingSettings::meaningStyle() != MeaningStyle::none;
    const auto glossOf = [&](const QString& hanja) { return glosses ? MeaningLine::glossJoin(hanja, *dictionary) : QString(); };
    QStringList meanings;
    for (const ReadingText::Word& w : reading.words)
        if (const QString g = glossOf(w.hanja); !g.isEmpty() && !meanings.contains(g)) meanings.append(g);
    QList<Candidate> rows;
    QStringList written{text};
    const auto add = [&](const QString& replacement, const QString& secondary) {
        if (written.contains(replacement) || rows.size() >= Ranker::kMaxRows) return;
        written.append(replacement);
        Candidate row;
        row.primary = replacement;
        row.secondary = secondary;
        row.replacement = replacement;
        row.kind = CandidateKind::reading;
        rows.append(row);
    };
    // Every form but the one the text is in; the plain reading first.
    for (const Form form : {Form::hangul, Form::hangulParenHanja, Form::hanjaParenHangul, Form::hanjaOnly})
        add(ReadingText::write(reading, form), meanings.join(kSeparator));
    // The other readings of an ambiguous piece, one piece at a time.
    for (int w = 0; w < reading.words.size(); ++w)
        for (int p = 0; p < reading.words[w].pieces.size(); ++p)
            for (int r = 1; r < reading.words[w].pieces[p].readings.size(); ++r)
                add(ReadingText::writeAlternative(reading, w, p, r), glossOf(reading.words[w].pieces[p].hanja));
    QString header = TextUtil::displayCut(ReadingText::quotedWords(reading)) + kSeparator
                   + (reading.anyBare() ? QStringLiteral("읽기") : QStringLiteral("표기 바꾸기"));
    if (!unknown.isEmpty()) header += kSeparator + QStringLiteral("모르는 한자 ") + TextUtil::displayCut(unknown);
    present(rows, header, anchor, cap, session);
}

void Coordinator::present(const QList<Candidate>& rows, const QString& header, const PanelAnchor& anchor,
                          const Capture& cap, qint64 session)
{
    CandidatePanel& panel = CandidatePanel::shared();
    // The lookup is done: the index pages it read go back to the page cache, which the next
    // lookup reads them from again, instead of staying in this process's memory.
    if (dictionary) dictionary->releaseResident();
    if (panel.session != session) return; // dismissed or overtaken while we waited
    panel.show(rows, header, anchor, session, [this, cap, anchor](const Candidate& row, bool optionHeld) {
        picked(row, optionHeld, cap, anchor);
    });
}

void Coordinator::picked(const Candidate& row, bool optionHeld, const Capture& cap, const PanelAnchor& anchor)
{
    Platform& platform = Platform::shared();
    if (row.kind == CandidateKind::action) {
        detach(endCleanly(cleanupFromOffer(cap, anchor)));
        return;
    }
    if (row.kind == CandidateKind::compose) {
        // Spelled one character at a time: written like a pick, and kept as the user's own word.
        ComposeSteps::start(row.word, anchor, *dictionary, [this, row, cap, anchor](const QString& hanja) {
            const UserWords::Result added = UserWords::shared().add(row.word, hanja, MeaningLine::glossJoin(hanja, *dictionary),
                                                                    Platform::shared().clock->now());
            if (!added.ok) Log::write(QStringLiteral("내 낱말에 넣지 못함: ") + added.reason);
            const QString replacement = ReplacementFormat::example(WritingSettings::format(), row.word, hanja) + row.replacement;
            picked(WordRows::hanjaRow(row.word, hanja, QString(), replacement), false, cap, anchor);
        });
        return;
    }
    // A copied spelling was chosen too. The replacement is started first: the record (a file
    // written to disk) is made while it waits for the focus, not before.
    if (!optionHeld) detach(endCleanly(replaceAfterPick(cap, row.replacement)));
    if (row.kind == CandidateKind::hanja) PickHistory::shared().record(row.word, row.primary, platform.clock->now());
    if (optionHeld) {
        TextCapture::stopWatchingLateCopy();
        platform.pasteboard->clearContents();
        platform.pasteboard->setString(row.primary);
        CandidatePanel& panel = CandidatePanel::shared();
        const qint64 session = ++panel.session;
        panel.showNotice(QStringLiteral("복사됨 · ") + TextUtil::displayCut(row.primary), anchor, session);
    }
}

QCoro::Task<void> Coordinator::replaceAfterPick(Capture cap, QString replacement)
{
    // The clipboard may be lent to the paste from now on; a press meanwhile, or a pick before
    // this one still pasting, waits for it.
    ClipboardLoan loan;
    if (!co_await loan.turn()) Log::write(QStringLiteral("치환: 앞선 붙여넣기가 끝나지 않았지만 진행"));
    CandidatePanel& panel = CandidatePanel::shared();
    const qint64 quiet = panel.session; // the pick closed the panel; a newer press changes it
    co_await focusBack(cap);
    bool unread = false;
    qint64 notice = 0;
    const auto keepUnread = [&] {
        unread = true;
        // The spelling is left on the clipboard only where the user can be told so, not over a
        // newer session.
        if (panel.session != quiet) return false;
        loan.end();
        notice = ++panel.session;
        panel.showNotice(unpastedNotice + TextUtil::displayCut(replacement), PanelAnchor::mouse(), notice);
        return true;
    };
    const QString text = keepingBlanks(cap.selected, replacement, cap.chords.terminal);
    const bool replaced = co_await TextReplacer::replace(cap, text, keepUnread);
    if (replaced) {
        if (notice && panel.session == notice) panel.dismiss(); // the target was only slow
        Notifier::shared().post(Notifications::didReplace);
        co_return;
    }
    if (unread) co_return;
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
        const std::shared_ptr<LanguageModel> model = co_await availableModel();
        offerCleanup = model != nullptr;
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
    const std::shared_ptr<LanguageModel> model = co_await availableModel();
    if (!model) {
        // A word the dictionary lacks (a name) can still be spelled one character at a time.
        if (WordRows::allSyllables(text) && SyllableCompose::offers(text, *dictionary)) {
            present({ComposeSteps::row(text, QString())}, quoted(text) + kSeparator + QStringLiteral("사전에 없는 말"), anchor,
                    cap, session);
            co_return;
        }
        CandidatePanel::shared().showNotice(noModelNotice, anchor, session);
        co_return;
    }
    co_await cleanUp(model, cap, anchor, session, text, QStringLiteral("오타 정리 · AI"),
                     QStringLiteral("원문: ") + TextUtil::displayCut(cap.selected));
}

QCoro::Task<void> Coordinator::cleanupFromOffer(Capture cap, PanelAnchor anchor)
{
    // The pick closed the panel; the cleanup is a session of its own.
    const qint64 session = ++CandidatePanel::shared().session;
    const std::shared_ptr<LanguageModel> model = co_await availableModel();
    co_await cleanUp(model, cap, anchor, session, cap.selected, QStringLiteral("오타 정리"), QString());
}

QCoro::Task<void> Coordinator::cleanUp(std::shared_ptr<LanguageModel> model, Capture cap, PanelAnchor anchor, qint64 session, QString shownText,
                                       QString resultHeader, QString secondary)
{
    CandidatePanel& panel = CandidatePanel::shared();
    panel.showLoading(QStringLiteral("오타 정리 · ") + quoted(TextUtil::displayCut(shownText)), anchor, session);
    const std::optional<QString> corrected = co_await Ranker::cleanTyposWith(model, cap.selected, cap.context);
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
