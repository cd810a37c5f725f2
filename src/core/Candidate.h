#pragma once

#include <QObject>
#include <QString>

// What a candidate row offers. The names are stable: the command line prints them. A reading
// row writes a selection's Hanja read, or its annotations in another form; it is not learned. A
// compose row spells its word one character at a time (its replacement is the ending kept).
namespace Candidates {
Q_NAMESPACE
enum class Kind { hanja, layout, proofread, action, reading, compose };
Q_ENUM_NS(Kind)
} // namespace Candidates
using CandidateKind = Candidates::Kind;

// One row of the candidate panel.
struct Candidate {
    QString primary;
    QString secondary;
    QString replacement; // empty for action rows
    CandidateKind kind = CandidateKind::hanja;
    QString word;        // the dictionary word, for recording the pick; empty otherwise
};
