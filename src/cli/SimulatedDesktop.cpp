#include "cli/SimulatedDesktop.h"

#include "cli/Cli.h"
#include "core/CandidatePanel.h"
#include "core/Coordinator.h"
#include "core/EnumKeys.h"
#include "base/Defaults.h"
#include "base/JsonDefaultsStore.h"
#include "base/Notifier.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QTimer>

#include <algorithm>

namespace {

// The user's settings, with some values replaced for this run. Writes (the pick history) go
// through to the user's store.
class OverlayDefaultsStore : public DefaultsStore {
public:
    OverlayDefaultsStore(std::shared_ptr<DefaultsStore> base, QJsonObject overrides, bool writeThrough)
        : m_base(std::move(base))
        , m_overrides(std::move(overrides))
        , m_writeThrough(writeThrough)
    {
    }
    QJsonValue value(const QString& key) override
    {
        return m_overrides.contains(key) ? m_overrides.value(key) : m_base->value(key);
    }
    bool update(const QString& key, const Change& change, Unsaved unsaved = Unsaved::keep) override
    {
        if (!m_writeThrough) {
            const QJsonValue next = change(value(key));
            m_overrides.insert(key, next);
            return true;
        }
        m_overrides.remove(key);
        return m_base->update(key, change, unsaved);
    }

private:
    std::shared_ptr<DefaultsStore> m_base;
    QJsonObject m_overrides;
    bool m_writeThrough;
};

constexpr qint64 kStepLimitMs = 60000; // a model may take its time; the client gives up at 30 s

} // namespace

SimulatedDesktop::SimulatedDesktop(const QJsonObject& overrides, bool learn)
    : m_desktop(MemoryPlatform::install(std::make_shared<SystemClock>()))
{
    Defaults::setShared(std::make_shared<OverlayDefaultsStore>(
        std::make_shared<JsonDefaultsStore>(Defaults::defaultPath()), overrides, learn));
    m_observer = Notifier::shared().observe(Notifications::didReplace, [this] { ++m_replacements; });
}

SimulatedDesktop::~SimulatedDesktop()
{
    Notifier::shared().remove(m_observer);
}

void SimulatedDesktop::open(const QString& text, const std::optional<QString>& selection)
{
    qsizetype at = selection ? text.indexOf(*selection) : -1;
    const qsizetype length = at >= 0 ? selection->size() : text.size();
    if (at < 0) at = 0;
    m_editor = m_desktop->openEditor(text, TextRange{at, length}, Pid(501 + m_opened++));
}

bool SimulatedDesktop::settle(const std::function<bool()>& done)
{
    // The wait sleeps until something happens (every step of a session is an event); the timer is
    // what happens when nothing else does. processEvents with a time limit would not sleep at all.
    bool expired = false;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, [&expired] { expired = true; });
    limit.start(kStepLimitMs);
    while (!done()) {
        if (expired) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

SimulatedDesktop::Panel SimulatedDesktop::panel() const
{
    // The model keeps what was last shown, also once a notice has timed out.
    const PanelModel& model = CandidatePanel::shared().model();
    Panel p;
    p.header = model.header();
    p.rows = model.items();
    if (model.interactive()) p.state = Panel::State::list;
    else if (model.isLoading()) p.state = Panel::State::loading;
    else if (!model.header().isEmpty()) p.state = Panel::State::notice;
    return p;
}

SimulatedDesktop::Panel SimulatedDesktop::press()
{
    CandidatePanel& candidatePanel = CandidatePanel::shared();
    if (candidatePanel.isVisible()) candidatePanel.dismiss();
    candidatePanel.model().setHeader(QString());
    candidatePanel.model().setItems({});
    candidatePanel.model().setInteractive(false);
    candidatePanel.model().setLoading(false);
    Coordinator::shared().trigger();
    settle([] { return !Coordinator::shared().busy; });
    return panel();
}

SimulatedDesktop::Panel SimulatedDesktop::pick(qsizetype n, bool option)
{
    CandidatePanel& candidatePanel = CandidatePanel::shared();
    const QList<Candidate> rows = candidatePanel.model().items();
    if (n < 1 || n > rows.size() || !candidatePanel.isVisible()) return panel();
    const int before = m_replacements;
    const qint64 session = candidatePanel.session;
    if (option) m_desktop->keyPoster->holdModifiers(ModifierFlag::option);
    candidatePanel.model().pick(rows[n - 1]);
    m_desktop->keyPoster->releaseModifiers();
    // Settled when the text was replaced, or a later session shows its list or notice.
    settle([&] {
        if (m_replacements > before) return true;
        return candidatePanel.session > session + 1 && candidatePanel.isVisible() && !candidatePanel.model().isLoading();
    });
    if (m_replacements > before) return Panel{};
    return panel();
}

bool SimulatedDesktop::stepping() const
{
    CandidatePanel& candidatePanel = CandidatePanel::shared();
    return candidatePanel.isVisible() && (candidatePanel.isStepping() || candidatePanel.model().isLoading());
}

SimulatedDesktop::Panel SimulatedDesktop::afterStep(const Panel& before, int replacements)
{
    CandidatePanel& candidatePanel = CandidatePanel::shared();
    settle([&] {
        if (m_replacements > replacements) return true;
        if (!candidatePanel.isVisible()) return Coordinator::shared().settled();
        const PanelModel& model = candidatePanel.model();
        return !model.isLoading() && (model.header() != before.header || candidatePanel.isNotice());
    });
    if (!candidatePanel.isVisible()) return Panel{};
    return panel();
}

SimulatedDesktop::Panel SimulatedDesktop::key(quint16 keyCode, quint64 flags)
{
    const Panel before = panel();
    const int replacements = m_replacements;
    m_desktop->panelWindow->pressKey(keyCode, flags);
    return afterStep(before, replacements);
}

SimulatedDesktop::Panel SimulatedDesktop::pickStep(qsizetype n, bool option)
{
    CandidatePanel& candidatePanel = CandidatePanel::shared();
    const QList<Candidate> rows = candidatePanel.model().items();
    if (n < 1 || n > rows.size() || !candidatePanel.isVisible()) return panel();
    const Panel before = panel();
    const int replacements = m_replacements;
    if (option) m_desktop->keyPoster->holdModifiers(ModifierFlag::option);
    candidatePanel.model().pick(rows[n - 1]);
    m_desktop->keyPoster->releaseModifiers();
    return afterStep(before, replacements);
}

SimulatedDesktop::Panel SimulatedDesktop::compose(const QList<qsizetype>& rows, const std::function<void(const Panel&)>& step)
{
    CandidatePanel& candidatePanel = CandidatePanel::shared();
    const QList<Candidate> shown = candidatePanel.model().items();
    const auto start = std::find_if(shown.cbegin(), shown.cend(), [](const Candidate& c) { return c.kind == CandidateKind::compose; });
    if (start == shown.cend() || !candidatePanel.isVisible() || rows.isEmpty()) return panel();
    candidatePanel.model().pick(*start);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const Panel shown = panel();
        if (step) step(shown);
        if (rows[i] < 1 || rows[i] > shown.rows.size() || !candidatePanel.isVisible()) return shown;
        if (i + 1 == rows.size()) break;
        candidatePanel.model().pick(shown.rows[rows[i] - 1]);
    }
    return pick(rows.last());
}

QString SimulatedDesktop::text() const { return m_editor ? m_editor->text : QString(); }

void printPanel(const SimulatedDesktop::Panel& panel, bool collapsed)
{
    QTextStream& o = Cli::out();
    if (panel.state == SimulatedDesktop::Panel::State::hidden) return;
    o << panel.header << "\n";
    const qsizetype shown = collapsed && panel.rows.size() >= 4 ? 3 : panel.rows.size();
    for (qsizetype i = 0; i < shown; ++i) {
        const Candidate& c = panel.rows[i];
        o << QStringLiteral("%1. ").arg(i + 1, 2) << c.primary << "\n";
        if (!c.secondary.isEmpty()) o << "    " << c.secondary << "\n";
        if (!c.replacement.isEmpty() && c.replacement != c.primary) o << "    → " << c.replacement << "\n";
    }
    if (shown < panel.rows.size()) o << QStringLiteral("    ＋%1개 더 보기").arg(panel.rows.size() - shown) << "\n";
}

QJsonObject panelJson(const QString& text, const SimulatedDesktop::Panel& panel)
{
    QJsonObject object{{QStringLiteral("text"), text}};
    if (panel.state != SimulatedDesktop::Panel::State::list) {
        object.insert(QStringLiteral("notice"), panel.header);
        return object;
    }
    object.insert(QStringLiteral("header"), panel.header);
    QJsonArray rows;
    for (const Candidate& c : panel.rows)
        rows.append(QJsonObject{{QStringLiteral("primary"), c.primary},
                                {QStringLiteral("secondary"), c.secondary},
                                {QStringLiteral("replacement"), c.replacement},
                                {QStringLiteral("kind"), EnumKeys::key(c.kind)}});
    object.insert(QStringLiteral("rows"), rows);
    return object;
}
