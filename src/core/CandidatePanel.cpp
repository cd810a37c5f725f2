#include "core/CandidatePanel.h"

QString rawValue(CandidateKind kind)
{
    switch (kind) {
    case CandidateKind::hanja: return QStringLiteral("hanja");
    case CandidateKind::layout: return QStringLiteral("layout");
    case CandidateKind::proofread: return QStringLiteral("proofread");
    case CandidateKind::action: return QStringLiteral("action");
    }
    return QString();
}
