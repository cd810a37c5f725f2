#include "core/CandidatePanel.h"

#include "base/Log.h"

#include "core/LanguageModels.h"
#include "core/ShortcutCenter.h"
#include "platform/Platform.h"

#include <algorithm>
#include <utility>

namespace {

bool isPickKey(quint16 key)
{
    return key == KeyCode::returnKey || key == KeyCode::keypadEnter
        || std::find(CandidatePanel::digitKeys.begin(), CandidatePanel::digitKeys.end(), key)
        != CandidatePanel::digitKeys.end();
}

} // namespace

CandidatePanel& CandidatePanel::shared()
{
    static CandidatePanel* instance = new CandidatePanel(); // lives for the whole process
    return *instance;
}

CandidatePanel::CandidatePanel() = default;

CandidatePanel::~CandidatePanel()
{
    m_autoDismiss.reset();
    m_relayout.reset();
    if (Platform::isInstalled()) {
        Platform& platform = Platform::shared();
        if (m_activationObserver) platform.workspace->removeObserver(*m_activationObserver);
    }
}

void CandidatePanel::show(const QList<Candidate>& rows, const QString& header, const PanelAnchor& anchor,
                          qint64 token, PickHandler onPick, bool expanded)
{
    showList(rows, header, anchor, token, std::move(onPick), std::nullopt, expanded);
}

void CandidatePanel::showStep(const QList<Candidate>& rows, const QString& header, const PanelAnchor& anchor,
                              qint64 token, PickHandler onPick, Stepping stepping)
{
    showList(rows, header, anchor, token, std::move(onPick), std::move(stepping), false);
}

void CandidatePanel::showList(const QList<Candidate>& rows, const QString& header, const PanelAnchor& anchor,
                              qint64 token, PickHandler onPick, std::optional<Stepping> stepping, bool expanded)
{
    if (token != session) return;
    m_items = rows;
    m_onPick = std::move(onPick);
    m_stepping = std::move(stepping);
    m_stepLoading = false;
    m_isNotice = false;
    m_model.setHeader(header);
    m_model.setItems(rows);
    m_model.setLoading(false);
    m_model.setInteractive(true);
    m_model.setExpanded(expanded && rows.size() >= 4);
    m_model.setStepping(m_stepping.has_value());
    std::weak_ptr<int> alive = m_lifetime;
    m_model.pick = [this, alive](const Candidate& row) {
        if (alive.expired()) return;
        pickRow(row, Platform::shared().keyPoster->combinedModifierFlags());
    };
    m_model.expand = [this, alive] {
        if (!alive.expired()) expand();
    };
    present(anchor);
    const QList<KeyEvent> pending = std::exchange(m_pendingKeys, {});
    for (const KeyEvent& key : pending)
        if (token == session) handleKey(key); // a pick ends the session, and the keys after it
}

void CandidatePanel::showHeaderOnly(const QString& header, const PanelAnchor& anchor, bool loading, bool stepping)
{
    if (!loading) m_pendingKeys.clear(); // a notice has nothing to pick
    m_items.clear();
    m_onPick = nullptr;
    m_stepping.reset();
    m_stepLoading = loading && stepping;
    m_isNotice = !loading;
    m_model.setHeader(header);
    m_model.setItems({});
    m_model.setStepping(false);
    m_model.setLoading(loading);
    m_model.setInteractive(false);
    present(anchor);
}

void CandidatePanel::showLoading(const QString& header, const PanelAnchor& anchor, qint64 token, bool stepping)
{
    if (token == session) showHeaderOnly(header, anchor, true, stepping);
}

void CandidatePanel::showNotice(const QString& message, const PanelAnchor& anchor, qint64 token)
{
    if (token != session) return;
    showHeaderOnly(message, anchor, false);
    std::weak_ptr<int> alive = m_lifetime;
    m_autoDismiss = Platform::shared().clock->after(noticeTimeoutMs, [this, alive] {
        if (!alive.expired()) dismiss();
    });
}

void CandidatePanel::dismiss()
{
    // Closed while it waited for the model: the answer is not wanted, the server can stop.
    if (m_model.isLoading() && isVisible())
        if (const auto model = LanguageModels::shared()) model->giveUpRequests();
    m_autoDismiss.reset(); // releasing the handle cancels the time-out
    m_relayout.reset();
    Platform& platform = Platform::shared();
    platform.panelWindow->setKeyMonitor(nullptr);
    platform.panelWindow->setOutsideClickMonitor(nullptr);
    if (m_activationObserver) {
        platform.workspace->removeObserver(*m_activationObserver);
        m_activationObserver.reset();
    }
    ++session;
    platform.panelWindow->orderOut();
    m_pendingKeys.clear();
    m_items.clear();
    m_onPick = nullptr;
    m_stepping.reset();
    m_stepLoading = false;
    m_extraKeys = nullptr;
    m_isNotice = false;
}

bool CandidatePanel::isVisible() const { return Platform::shared().panelWindow->isVisible(); }

void CandidatePanel::present(const PanelAnchor& anchor)
{
    m_autoDismiss.reset();
    m_anchor = anchor;
    PanelWindow& window = *Platform::shared().panelWindow;
    window.setContent(m_model, width);
    const QSizeF size = window.fittingSize();
    window.setFrame(QRectF(PanelPlacement::origin(anchor, size, *Platform::shared().screens), size));
    if (!window.isVisible()) {
        shownAtMs = Platform::shared().clock->monotonicMs();
        shownFocusMark = Platform::shared().accessibility->focusEventMark();
    }
    window.orderFront();
    installMonitors();
}

void CandidatePanel::relayout()
{
    PanelWindow& window = *Platform::shared().panelWindow;
    if (!window.hasContent()) return;
    const QSizeF size = window.fittingSize();
    window.setFrame(QRectF(PanelPlacement::origin(m_anchor, size, *Platform::shared().screens), size));
}

void CandidatePanel::installMonitors()
{
    Platform& platform = Platform::shared();
    std::weak_ptr<int> alive = m_lifetime;
    if (!platform.panelWindow->hasKeyMonitor())
        platform.panelWindow->setKeyMonitor([this, alive](const KeyEvent& event) {
            return !alive.expired() && handleKey(event);
        });
    if (!platform.panelWindow->hasOutsideClickMonitor())
        platform.panelWindow->setOutsideClickMonitor([this, alive] {
            if (!alive.expired()) dismiss();
        });
    if (!m_activationObserver)
        m_activationObserver = platform.workspace->observeActivation([this, alive](const RunningApplication& app) {
            if (alive.expired()) return;
            // Our own activation (a click on the panel) keeps it up.
            if (app.desktopId == Platform::shared().workspace->ownDesktopId()) return;
            dismiss();
        });
}

void CandidatePanel::expand()
{
    if (m_model.expanded() || m_model.items().size() < 4) return;
    m_model.setExpanded(true);
    // One turn later, so that the view has taken the new state before it is measured.
    std::weak_ptr<int> alive = m_lifetime;
    m_relayout = Platform::shared().clock->after(0, [this, alive] {
        if (!alive.expired()) relayout();
    });
}

void CandidatePanel::pickRow(const Candidate& row, quint64 flags)
{
    const Candidate picked = row;
    PickHandler handler = m_onPick;
    // A step's handler shows the next step, or closes the panel; so does spelling a word one
    // character at a time, whose first step takes the list's place without letting go of the
    // keyboard (closed and shown again, the next digit could reach the application meanwhile).
    if (!m_stepping && picked.kind != CandidateKind::compose) dismiss();
    if (handler) handler(picked, (flags & ModifierFlag::option) != 0);
}

bool CandidatePanel::handleKey(const KeyEvent& event)
{
    const quint16 key = event.keyCode;
    const qsizetype count = m_items.size();

    if (count == 0 && key != KeyCode::escape) {
        if (!m_isNotice) {
            // Loading: the list's keys wait for its rows, others go on to the application.
            if (!listTakes(event)) return passOn(event);
            m_pendingKeys.append(event);
            return true;
        }
        if (isPickKey(key)) {
            dismiss();
            return true;
        }
        // Typing over a notice goes on to the application in front.
        passOn(event);
        return true;
    }

    if (m_stepping && stepKey(event)) return true;

    // Copied first: taking a key may show another list with keys of its own.
    if (const auto extraKeys = m_extraKeys;
        extraKeys && !(event.modifierFlags & (ModifierFlag::command | ModifierFlag::control)) && extraKeys(key))
        return true;
    const auto digit = std::find(digitKeys.begin(), digitKeys.end(), key);
    if (digit != digitKeys.end()) {
        const qsizetype i = digit - digitKeys.begin();
        if (event.modifierFlags & (ModifierFlag::command | ModifierFlag::control)) return passOn(event);
        if (i < m_model.shownCount()) pickRow(m_items[i], event.modifierFlags);
        else if (i < count) expand();
        return true;
    }

    switch (key) {
    case KeyCode::returnKey:
    case KeyCode::keypadEnter:
        if (count > 0) {
            pickRow(m_items[0], event.modifierFlags);
            return true;
        }
        return passOn(event);
    case KeyCode::escape:
        dismiss();
        return true;
    case KeyCode::rightArrow:
        expand();
        return true;
    case KeyCode::tab: {
        // Tab spells the word one character at a time, where the list offers that.
        const auto compose = std::find_if(m_items.cbegin(), m_items.cend(),
                                          [](const Candidate& c) { return c.kind == CandidateKind::compose; });
        if (compose == m_items.cend()) return passOn(event);
        pickRow(*compose, 0);
        return true;
    }
    default:
        return passOn(event);
    }
}

bool CandidatePanel::stepKey(const KeyEvent& event)
{
    if (event.modifierFlags & (ModifierFlag::command | ModifierFlag::control)) return false;
    const bool allShown = m_model.expanded() || m_items.size() < 4;
    // Copies: the handlers may show the next step, which replaces m_stepping.
    if (event.keyCode == KeyCode::space || (event.keyCode == KeyCode::rightArrow && allShown)) {
        const std::function<void()> skip = m_stepping->skip;
        if (skip) skip();
        return true;
    }
    if (event.keyCode == KeyCode::backspace) {
        const std::function<void()> back = m_stepping->back;
        if (back) back();
        return true;
    }
    return false;
}

bool CandidatePanel::listTakes(const KeyEvent& event) const
{
    if (event.keyCode == KeyCode::rightArrow || event.keyCode == KeyCode::returnKey || event.keyCode == KeyCode::tab
        || event.keyCode == KeyCode::keypadEnter)
        return true;
    const bool plain = !(event.modifierFlags & (ModifierFlag::command | ModifierFlag::control));
    if (m_stepLoading && plain && (event.keyCode == KeyCode::space || event.keyCode == KeyCode::backspace)) return true;
    return isPickKey(event.keyCode) && plain;
}

bool CandidatePanel::passOn(const KeyEvent& event)
{
    dismiss(); // first: the window lets go of the keyboard, or the key would come back to it
    // The shortcut never fires under the panel's grab; a second press only closes the panel, as
    // passed on it would open a new one.
    constexpr quint64 held = ModifierFlag::shift | ModifierFlag::control | ModifierFlag::option | ModifierFlag::command;
    const Shortcut shortcut = ShortcutCenter::shared().current();
    if (event.keyCode == shortcut.keyCode && (event.modifierFlags & held) == (shortcut.modifiers & held)) return false;
    Platform& platform = Platform::shared();
    const auto front = platform.workspace->frontmostApplication();
    if (front && front->pid != platform.workspace->ownPid())
        platform.keyPoster->postKeyDown(front->pid, event.keyCode, event.modifierFlags, event.nativeKey);
    else
        Log::write(front ? QStringLiteral("패널이 아직 맨 앞이라 키를 넘기지 않음") : QStringLiteral("맨 앞 앱을 알 수 없어 키를 넘기지 않음"));
    return false;
}
