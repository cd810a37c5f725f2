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
};
