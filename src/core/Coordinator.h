#pragma once

#include "core/CandidatePanel.h"
#include "core/dictionary/HanjaDictionary.h"
#include "core/KeyboardLayoutFix.h"
#include "core/RankEngine.h"
#include "core/TextCapture.h"

#include <QHash>
#include <QList>
#include <QString>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

// Turns one press of the global shortcut into at most one replacement: permission, capture,
// classification, lookup, ranking, the panel, the pick, and the replacement or copy.
class Coordinator {
public:
    static Coordinator& shared();

    // A session task is running: from the press until its list, notice or offer is up.
    bool busy = false;
    // Shows the first-run window; set by the application shell.
    std::function<void()> showOnboarding;
    // The dictionary the sessions look words up in; the shared one unless a test sets another.
    HanjaDictionary* dictionary = &HanjaDictionary::shared();

    // The shortcut was pressed: closes a visible panel, or starts a session unless one runs.
    void trigger();

    static inline const QString noSelectionNotice = QStringLiteral("선택된 텍스트가 없습니다");
    static inline const QString noModelNotice = QStringLiteral("사전에 없는 말이고, 이 컴퓨터에선 교정 모델을 쓸 수 없습니다");
    static inline const QString nothingToFixNotice = QStringLiteral("고칠 곳이 없습니다");
    static inline const QString appChangedNotice = QStringLiteral("다른 앱으로 바뀌어서 바꾸지 않았습니다");


    // How a picked word is written back.
    enum class Format { hangulParenHanja, hanjaParenHangul, hanjaOnly };
    // What a candidate row shows under its Hanja.
    enum class MeaningStyle { none, gloss, summary };

    static QList<Format> allFormats();
    static QString rawValue(Format format);
    static std::optional<Format> formatFromRawValue(const QString& raw);
    static QList<MeaningStyle> allMeaningStyles();
    static QString rawValue(MeaningStyle style);
    static std::optional<MeaningStyle> meaningStyleFromRawValue(const QString& raw);

    // 수도 + 首都 → 수도(首都), 首都(수도) or 首都.
    static QString example(Format format, QStringView hangul, QStringView hanja);
    // The header's preview: the example for 한글 and 漢字.
    static QString formatPreview(Format format);

    // Stored under "format" and "meaningStyle"; read at each use. Writing the format posts
    // "SorelwickFormatDidChange", also when the value did not change.
    static Format format();
    static void setFormat(Format format);
    static MeaningStyle meaningStyle();
    static void setMeaningStyle(MeaningStyle style);

    // The glosses of the spelling's characters joined with " · "; characters without one are left out.
    static QString glossJoin(QStringView hanja, HanjaDictionary& dictionary);
    // A row's second line for the style; modelMeanings maps a spelling to the model's meaning.
    static QString meaningText(const HanjaEntry& entry, MeaningStyle style,
                               const QHash<QString, QString>& modelMeanings, HanjaDictionary& dictionary);

private:
    QCoro::Task<void> runSession();
    QCoro::Task<void> handle(Capture cap, qint64 session);
    QCoro::Task<void> dictionaryPath(Capture cap, HanjaDictionary::Split split, QList<HanjaEntry> entries,
                                     PanelAnchor anchor, qint64 session);
    void present(const QList<Candidate>& rows, const QString& header, const PanelAnchor& anchor, const Capture& cap,
                 qint64 session);
    void picked(const Candidate& row, bool optionHeld, const Capture& cap, const PanelAnchor& anchor);
    QCoro::Task<void> replaceAfterPick(Capture cap, QString replacement);

    // Correction offers for text that is no dictionary word.
    QCoro::Task<void> offerLayoutFix(Capture cap, QString text, KeyboardLayoutFix::Suggestion suggestion,
                                     PanelAnchor anchor, qint64 session);
    QCoro::Task<void> cleanupFallback(Capture cap, QString text, PanelAnchor anchor, qint64 session);
    QCoro::Task<void> cleanupFromOffer(Capture cap, PanelAnchor anchor);
    // Loading header with the text, the model's answer as one row, or "고칠 곳이 없습니다".
    QCoro::Task<void> cleanUp(Capture cap, PanelAnchor anchor, qint64 session, QString shownText,
                              QString resultHeader, QString secondary);
};
