#pragma once

#include "core/Candidate.h"
#include "core/Capture.h"
#include "core/dictionary/HanjaDictionary.h"
#include "core/KeyboardLayoutFix.h"
#include "core/MeaningLine.h"
#include "core/PanelPlacement.h"
#include "core/RankEngine.h"
#include "core/ReplacementFormat.h"
#include "core/WordRows.h"

#include <QList>
#include <QString>

#include <qcoro/qcorotask.h>

#include <functional>
#include <memory>
#include <optional>

// Turns one press of the global shortcut into at most one replacement: permission, capture,
// classification, lookup, ranking, the panel, the pick, and the replacement or copy.
class Coordinator {
public:
    static Coordinator& shared();

    // A session task is running: from the press until its list, notice or offer is up.
    bool busy = false;
    // The dictionary the sessions look words up in; the shared one unless a test sets another.
    HanjaDictionary* dictionary = &HanjaDictionary::shared();

    // The shortcut was pressed: closes a visible panel, or starts a session unless one runs.
    void trigger();
    // No session task runs and no step a pick started (a replacement with its paste wait, a
    // cleanup) is left: the process may be replaced now without losing a pick or a clipboard.
    bool settled() const { return !busy && m_pickSteps == 0; }

    static inline const QString noSelectionNotice = QStringLiteral("선택된 텍스트가 없습니다");
    static inline const QString noModelNotice = QStringLiteral("사전에 없는 말이고, 이 컴퓨터에선 교정 모델을 쓸 수 없습니다");
    static inline const QString nothingToFixNotice = QStringLiteral("고칠 곳이 없습니다");
    static inline const QString appChangedNotice = QStringLiteral("다른 앱으로 바뀌어서 바꾸지 않았습니다");
    // Nothing took the paste (a read-only view): the spelling, which follows, stays copied.
    static inline const QString unpastedNotice = QStringLiteral("바꿀 수 없어 복사해 두었습니다 · ");
    static inline const QString unreadableNotice = QStringLiteral("읽을 수 없는 한자입니다 · ");
    static inline const QString passwordFieldNotice = QStringLiteral("암호 칸이라 읽지도 바꾸지도 않습니다");
    static inline const QString failedNotice = QStringLiteral("문제가 생겨 이번 작업을 끝냈습니다");

    // How rows are written (their own files hold the rendering and the settings).
    using Format = ReplacementFormat::Format;
    using MeaningStyle = MeaningLine::Style;

private:
    // The session task: its steps, and whatever happens in them, end with busy released.
    QCoro::Task<void> runSession();
    QCoro::Task<void> sessionSteps(qint64& session);
    // A step started from a pick: a failure in it is logged and shown, not lost.
    QCoro::Task<void> endCleanly(QCoro::Task<void> step);
    void reportFailure(const QString& failure, qint64 session);
    QCoro::Task<void> handle(Capture cap, qint64 session);
    // Compounds the dictionary lacks (its words joined) lead, the stem's own spellings follow.
    QCoro::Task<void> dictionaryPath(Capture cap, WordRows::Lookup lookup, PanelAnchor anchor, qint64 session);
    // A selection holding Hanja: its readings, and its annotations in the other forms.
    void readingPath(const Capture& cap, const QString& text, const PanelAnchor& anchor, qint64 session);
    // A selection of several eojeols: its Sino-Korean words one at a time, written once
    // (CoordinatorSentence.cpp). False when it holds no such word.
    struct SentenceRun;
    QCoro::Task<bool> sentencePath(Capture cap, QString text, PanelAnchor anchor, qint64 session);
    QCoro::Task<void> arrangeStep(std::shared_ptr<SentenceRun> run, qsizetype step);
    QCoro::Task<void> arrangeLaterSteps(std::shared_ptr<SentenceRun> run);
    void showStep(const std::shared_ptr<SentenceRun>& run);
    void stepAnswered(const std::shared_ptr<SentenceRun>& run, const Candidate& row, bool optionHeld);
    void finishSentence(const std::shared_ptr<SentenceRun>& run, bool copy);
    QCoro::Task<void> writeSentence(Capture cap, QString text);
    void present(const QList<Candidate>& rows, const QString& header, const PanelAnchor& anchor, const Capture& cap,
                 qint64 session);
    void picked(const Candidate& row, bool optionHeld, const Capture& cap, const PanelAnchor& anchor);
    // `oneUndoStep`: by a paste where keys reach the application (see TextReplacer::replace).
    QCoro::Task<void> replaceAfterPick(Capture cap, QString replacement, bool oneUndoStep = false);

    // Correction offers for text that is no dictionary word.
    QCoro::Task<void> offerLayoutFix(Capture cap, QString text, KeyboardLayoutFix::Suggestion suggestion,
                                     PanelAnchor anchor, qint64 session);
    QCoro::Task<void> cleanupFallback(Capture cap, QString text, PanelAnchor anchor, qint64 session);
    QCoro::Task<void> cleanupFromOffer(Capture cap, PanelAnchor anchor);
    // Loading header with the text, the model's answer as one row, or "고칠 곳이 없습니다".
    QCoro::Task<void> cleanUp(std::shared_ptr<LanguageModel> model, Capture cap, PanelAnchor anchor, qint64 session, QString shownText,
                              QString resultHeader, QString secondary);

    int m_pickSteps = 0; // steps started from a pick, still running
};
