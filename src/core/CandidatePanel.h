#pragma once

#include <QString>
#include <QUuid>

// What a candidate row offers.
enum class CandidateKind { hanja, layout, proofread, action };

QString rawValue(CandidateKind kind);

// One row of the candidate panel.
struct Candidate {
    QUuid id = QUuid::createUuid();
    QString primary;
    QString secondary;
    QString replacement; // empty for action rows
    CandidateKind kind = CandidateKind::hanja;
    QString word;        // the dictionary word, for recording the pick; empty otherwise
};
