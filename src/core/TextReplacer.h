#pragma once

#include "core/Capture.h"

#include <QString>

#include <qcoro/qcorotask.h>

// Writes a replacement over the captured selection.
class TextReplacer {
public:
    TextReplacer() = delete;

    // True when the text was written (own view or accessibility) or the paste keystroke was
    // posted; false when the paste was refused.
    static QCoro::Task<bool> replace(Capture cap, QString text);

    // The clipboard lent for a paste comes back once the application has asked for its text,
    // and never sooner than pasteSettleMs after the keystroke; without a request, at
    // pasteDeadlineMs.
    static constexpr qint64 pasteSettleMs = 300;
    static constexpr qint64 pasteDeadlineMs = 2000;
};
