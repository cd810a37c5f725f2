#pragma once

#include "core/Candidate.h"
#include "core/PanelModel.h"
#include "core/PanelPlacement.h"
#include "platform/Clock.h"
#include "platform/PanelWindow.h"
#include "platform/Workspace.h"

#include <QList>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <optional>

// The controller of the floating candidate window: candidate lists, a loading state and
// one-line notices, keys and clicks, and the session token that keeps late results off screen.
class CandidatePanel {
public:
    using PickHandler = std::function<void(const Candidate& row, bool optionHeld)>;

    static constexpr std::array<quint16, 9> digitKeys = {18, 19, 20, 21, 23, 22, 26, 28, 25};
    static constexpr qint64 noticeTimeoutMs = 1800;
    static constexpr double width = 320;

    static CandidatePanel& shared();

    CandidatePanel();
    ~CandidatePanel();
    CandidatePanel(const CandidatePanel&) = delete;
    CandidatePanel& operator=(const CandidatePanel&) = delete;

    // The session token: a new session adds 1 and keeps the value; every dismissal adds 1. Calls
    // with another token than the current one show nothing.
    qint64 session = 0;
    // When the window last came up and took the keyboard from the application: the clock's time,
    // and the mark in the applications' focus events.
    qint64 shownAtMs = 0;
    quint64 shownFocusMark = 0;

    // Expanded: the first nine rows at once, as a page of a longer list.
    void show(const QList<Candidate>& rows, const QString& header, const PanelAnchor& anchor, qint64 session,
              PickHandler onPick, bool expanded = false);
    // A list stepped through: a pick leaves the panel up (the handler shows the next list or
    // closes it), Space skips, Backspace goes back, and the right arrow skips once all rows show.
    struct Stepping {
        std::function<void()> skip;
        std::function<void()> back;
    };
    void showStep(const QList<Candidate>& rows, const QString& header, const PanelAnchor& anchor, qint64 session,
                  PickHandler onPick, Stepping stepping);
    // Keys the shown list takes before the panel's own (true: taken); until the panel closes.
    void setExtraKeys(std::function<bool(quint16 key)> keys) { m_extraKeys = std::move(keys); }
    // `stepping`: a step's rows are coming, which take Space and Backspace too.
    void showLoading(const QString& header, const PanelAnchor& anchor, qint64 session, bool stepping = false);
    void showNotice(const QString& message, const PanelAnchor& anchor, qint64 session);
    void dismiss();

    bool isVisible() const;
    PanelModel& model() { return m_model; }
    bool isNotice() const { return m_isNotice; }
    bool isStepping() const { return m_stepping.has_value(); }

private:
    void showList(const QList<Candidate>& rows, const QString& header, const PanelAnchor& anchor, qint64 session,
                  PickHandler onPick, std::optional<Stepping> stepping, bool expanded);
    bool handleKey(const KeyEvent& event);
    // Space, Backspace and the right arrow while stepping; false for other keys.
    bool stepKey(const KeyEvent& event);
    // Dismisses and hands the key (key-down only) to the application in front, which never saw
    // it: the panel holds the keyboard. False, the answer for a key not consumed.
    bool passOn(const KeyEvent& event);
    // Whether the list, once up, takes the key (a pick, Return, the right arrow; Space and
    // Backspace for a step).
    bool listTakes(const KeyEvent& event) const;
    void expand();
    void relayout();
    void present(const PanelAnchor& anchor);
    // A loading row or a notice: the header and no rows to pick.
    void showHeaderOnly(const QString& header, const PanelAnchor& anchor, bool loading, bool stepping = false);
    void installMonitors();
    void pickRow(const Candidate& row, quint64 flags);

    PanelModel m_model;
    QList<Candidate> m_items;
    PickHandler m_onPick;
    std::optional<Stepping> m_stepping;
    bool m_stepLoading = false; // a step's loading line
    std::function<bool(quint16 key)> m_extraKeys;
    bool m_isNotice = false;
    // The list's keys typed while it was loading, applied in order once its rows arrive.
    QList<KeyEvent> m_pendingKeys;
    PanelAnchor m_anchor;
    std::unique_ptr<Clock::Pending> m_autoDismiss;
    std::unique_ptr<Clock::Pending> m_relayout;
    std::optional<Workspace::ObserverHandle> m_activationObserver;
    std::shared_ptr<int> m_lifetime = std::make_shared<int>(0); // callbacks hold it weakly
};
