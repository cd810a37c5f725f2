#pragma once

#include "core/Candidate.h"
#include "core/PanelPlacement.h"
#include "core/dictionary/HanjaDictionary.h"

#include <QString>

#include <functional>

// The panel's syllable steps for spelling a word one character at a time: the header marks the
// syllable ("[범]용 · 1/2"), the rows are its characters with their glosses, nine to a page with
// "더 보기" after them (also Tab or the right arrow); a digit takes one and moves on, Backspace
// goes back a syllable (and closes the panel at the first). `done` gets the spelling.
namespace ComposeSteps {

inline const QString rowText = QStringLiteral("글자별로 고르기");
inline const QString moreText = QStringLiteral("더 보기");

// The row that starts the steps for word; the ending after it is kept as its replacement.
Candidate row(const QString& word, const QString& rest);

void start(const QString& word, const PanelAnchor& anchor, HanjaDictionary& dictionary,
           std::function<void(const QString& hanja)> done);

} // namespace ComposeSteps
