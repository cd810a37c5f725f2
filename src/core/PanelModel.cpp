#include "core/PanelModel.h"

void PanelModel::setItems(const QList<Candidate>& items)
{
    m_items = items;
    emit changed();
}

void PanelModel::setHeader(const QString& header)
{
    m_header = header;
    emit changed();
}

void PanelModel::setLoading(bool loading)
{
    m_isLoading = loading;
    emit changed();
}

void PanelModel::setInteractive(bool interactive)
{
    m_interactive = interactive;
    emit changed();
}

void PanelModel::setExpanded(bool expanded)
{
    m_expanded = expanded;
    emit changed();
}

void PanelModel::setStepping(bool stepping)
{
    m_stepping = stepping;
    emit changed();
}
