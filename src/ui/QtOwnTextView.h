#pragma once

#include "platform/OwnWindows.h"

#include <QPointer>
#include <QWidget>

// One of our own text widgets (QPlainTextEdit, QTextEdit or QLineEdit) as the session sees it:
// its text, its selection in UTF-16 units, where the selection lies on screen, and an edit that
// puts a replacement in place. A widget that went away reads as empty and takes no edit.
class QtOwnTextView : public OwnTextView {
public:
    explicit QtOwnTextView(QWidget* editor);

    // Whether the widget is a text widget this class can serve.
    static bool isTextView(const QWidget* widget);

    QString text() const override;
    TextRange selectedRange() const override;
    QRectF firstRect(TextRange range) const override;
    void insertText(const QString& text, TextRange replacementRange) override;

private:
    QPointer<QWidget> m_editor;
};
