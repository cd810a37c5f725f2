#pragma once

#include "core/Candidate.h"

#include <QList>
#include <QObject>
#include <QString>

#include <algorithm>
#include <functional>

// The view state of the panel; the view redraws on changed().
class PanelModel : public QObject {
    Q_OBJECT
public:
    const QList<Candidate>& items() const { return m_items; }
    const QString& header() const { return m_header; }
    bool isLoading() const { return m_isLoading; }
    bool interactive() const { return m_interactive; }
    bool expanded() const { return m_expanded; }
    // A list stepped through, word by word: its keys differ.
    bool stepping() const { return m_stepping; }
    // The rows that digit keys address directly: 3, or 9 once expanded.
    qsizetype shownCount() const { return std::min<qsizetype>(m_items.size(), m_expanded ? 9 : 3); }

    void setItems(const QList<Candidate>& items);
    void setHeader(const QString& header);
    void setLoading(bool loading);
    void setInteractive(bool interactive);
    void setExpanded(bool expanded);
    void setStepping(bool stepping);

    // Set by the controller: a row's click, and the click on the row that offers more.
    std::function<void(const Candidate&)> pick;
    std::function<void()> expand;

signals:
    void changed();

private:
    QList<Candidate> m_items;
    QString m_header;
    bool m_isLoading = false;
    bool m_interactive = false;
    bool m_expanded = false;
    bool m_stepping = false;
};
