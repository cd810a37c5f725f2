#pragma once

#include "base/DefaultsStore.h"
#include "cli/MemoryPlatform.h"
#include "core/Candidate.h"

#include <QJsonObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

// A whole session without a display, on the system clock: an editor in memory holds the text and the selection, the
// shortcut press runs the real coordinator, and what the panel would show is read back.
class SimulatedDesktop {
public:
    // What the panel shows after a step.
    struct Panel {
        enum class State { hidden, list, loading, notice };
        State state = State::hidden;
        QString header;
        QList<Candidate> rows;
    };

    // overrides are defaults values in force for this run only (the user's file is not changed).
    // With learn, picks are recorded in the user's history as a real session records them.
    explicit SimulatedDesktop(const QJsonObject& overrides = {}, bool learn = true);
    ~SimulatedDesktop();

    // An editor in front with text, and selection selected (its first occurrence; the whole text
    // when absent or not found).
    void open(const QString& text, const std::optional<QString>& selection = std::nullopt);
    Panel press();
    // Picks row n (1-based) as a click would, with or without Alt (copy); waits for what follows.
    Panel pick(qsizetype n, bool option = false);
    // While a selection of several words is stepped through: the user types over the panel
    // (Space skips, Backspace goes back, Escape closes), or picks row n (1-based) as a click would.
    bool stepping() const;
    Panel key(quint16 keyCode, quint64 flags = 0);
    Panel pickStep(qsizetype n, bool option = false);
    // Takes the list's "글자별로 고르기" row and then row d of each syllable's step in turn (the
    // row after the nine turns the page); waits for what follows the last. Each step's panel, before
    // its row is taken, goes to `step` when given.
    Panel compose(const QList<qsizetype>& rows, const std::function<void(const Panel&)>& step = {});
    QString text() const;
    int replacements() const { return m_replacements; }

private:
    Panel panel() const;
    // Waits until the panel shows something else than `before`, or closed and all it started ended.
    Panel afterStep(const Panel& before, int replacements);
    bool settle(const std::function<bool()>& done);

    std::shared_ptr<MemoryPlatform> m_desktop;
    std::shared_ptr<MemoryApplication> m_editor;
    quint64 m_observer = 0;
    int m_replacements = 0;
    int m_opened = 0;
};

// Prints a panel as lines of text (header, numbered rows, meaning lines, replacements); collapsed,
// only the rows the panel shows before it is expanded, and the row that offers the others.
void printPanel(const SimulatedDesktop::Panel& panel, bool collapsed = false);
QJsonObject panelJson(const QString& text, const SimulatedDesktop::Panel& panel);
