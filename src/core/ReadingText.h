#pragma once

// A selection that holds Hanja, read: each run of Hanja with the Hangul it reads as (from the
// dictionary, or from the writer's own annotation 수도(首都) or 首都(수도), whose Hangul must be
// a reading of the Hanja character by character: 首都(서울) is no annotation), everything else kept as
// it is; and the selection written again in one form for all of them (수도는, 수도(首都)는,
// 首都(수도)는, 首都는), or with another reading of one ambiguous piece.

#include "core/dictionary/HanjaDictionary.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace ReadingText {

enum class Form { hangul, hangulParenHanja, hanjaParenHangul, hanjaOnly };

struct Word {
    QString hanja;  // as written
    QString hangul; // its reading (the likeliest, for a bare run)
    Form form = Form::hanjaOnly; // as found: a bare run, or annotated either way
    QString source; // the word as it stood in the text
    QList<HanjaDictionary::ReadingPiece> pieces; // a bare run's pieces; empty for an annotation
};

// The selection as pieces: text kept as it is, or a word.
struct Piece {
    QString text;
    int word = -1; // index into words, or -1 for kept text
};

struct Reading {
    QList<Piece> pieces;
    QList<Word> words;
    QStringList unknown; // Han characters no reading is known for, kept as they are
    bool anyBare() const;
};

// Whether text holds a Han character (unified, extension or compatibility ideograph).
bool hasHan(QStringView text);
Reading read(const QString& text, HanjaDictionary& dictionary);

// Every word written in the form.
QString write(const Reading& reading, Form form);
// The plain Hangul with one piece of one word read its `alternative`-th way.
QString writeAlternative(const Reading& reading, int word, int piece, int alternative);

// The header's text: each word quoted as it stood (the display cut applied by the caller).
QString quotedWords(const Reading& reading);

} // namespace ReadingText
