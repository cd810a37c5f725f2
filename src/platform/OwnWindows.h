#pragma once

#include "platform/Types.h"

#include <QRectF>
#include <QString>

#include <memory>

// A text view in this program's own windows (the settings and first-run windows have some).
class OwnTextView {
public:
    virtual ~OwnTextView() = default;

    virtual QString text() const = 0;
    virtual TextRange selectedRange() const = 0;
    // The screen rectangle of the first line of the range, global, origin top left, y downwards.
    virtual QRectF firstRect(TextRange range) const = 0;
    // Puts text in place of range.
    virtual void insertText(const QString& text, TextRange replacementRange) = 0;
};

// This program's own windows, for a selection made in one of them.
class OwnWindows {
public:
    virtual ~OwnWindows() = default;

    // The focused widget of the active window when it is a text view; null otherwise.
    virtual std::shared_ptr<OwnTextView> focusedTextView() = 0;
};
