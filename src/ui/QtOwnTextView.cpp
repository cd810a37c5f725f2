#include "ui/QtOwnTextView.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

namespace {

// The document-based editors share QTextCursor; both answer these three.
QTextDocument* documentOf(QWidget* w)
{
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) return plain->document();
    if (auto* rich = qobject_cast<QTextEdit*>(w)) return rich->document();
    return nullptr;
}

QTextCursor cursorOf(QWidget* w)
{
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) return plain->textCursor();
    if (auto* rich = qobject_cast<QTextEdit*>(w)) return rich->textCursor();
    return QTextCursor();
}

QRect cursorRectOf(QWidget* w, const QTextCursor& cursor)
{
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) return plain->cursorRect(cursor);
    if (auto* rich = qobject_cast<QTextEdit*>(w)) return rich->cursorRect(cursor);
    return QRect();
}

QWidget* viewportOf(QWidget* w)
{
    if (auto* plain = qobject_cast<QPlainTextEdit*>(w)) return plain->viewport();
    if (auto* rich = qobject_cast<QTextEdit*>(w)) return rich->viewport();
    return w;
}

} // namespace

QtOwnTextView::QtOwnTextView(QWidget* editor)
    : m_editor(editor)
{
}

bool QtOwnTextView::isTextView(const QWidget* widget)
{
    return qobject_cast<const QPlainTextEdit*>(widget) || qobject_cast<const QTextEdit*>(widget)
        || qobject_cast<const QLineEdit*>(widget);
}

QString QtOwnTextView::text() const
{
    if (!m_editor) return QString();
    if (auto* line = qobject_cast<QLineEdit*>(m_editor.data())) return line->text();
    if (QTextDocument* doc = documentOf(m_editor)) return doc->toPlainText();
    return QString();
}

TextRange QtOwnTextView::selectedRange() const
{
    if (!m_editor) return {};
    if (auto* line = qobject_cast<QLineEdit*>(m_editor.data())) {
        if (!line->hasSelectedText()) return {line->cursorPosition(), 0};
        return {line->selectionStart(), line->selectionLength()};
    }
    const QTextCursor cursor = cursorOf(m_editor);
    if (cursor.isNull()) return {};
    return {cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()};
}

QRectF QtOwnTextView::firstRect(TextRange range) const
{
    if (!m_editor) return {};
    if (auto* line = qobject_cast<QLineEdit*>(m_editor.data())) {
        // A line edit tells only where its caret is; the field's own line is the best bound.
        const QRect field = line->rect();
        return QRectF(line->mapToGlobal(field.topLeft()), QSizeF(field.size()));
    }
    QTextDocument* doc = documentOf(m_editor);
    if (!doc) return {};
    QTextCursor start(doc);
    start.setPosition(int(std::clamp<qint64>(range.location, 0, doc->characterCount() - 1)));
    QTextCursor end(doc);
    end.setPosition(int(std::clamp<qint64>(range.end(), 0, doc->characterCount() - 1)));
    const QRect a = cursorRectOf(m_editor, start);
    const QRect b = cursorRectOf(m_editor, end);
    QWidget* viewport = viewportOf(m_editor);
    // On one line the rectangle spans to the end of the range, else to the end of the line.
    const int right = b.top() == a.top() ? b.left() : viewport->width();
    const QRect local(a.left(), a.top(), std::max(1, right - a.left()), a.height());
    return QRectF(viewport->mapToGlobal(local.topLeft()), QSizeF(local.size()));
}

void QtOwnTextView::insertText(const QString& text, TextRange replacementRange)
{
    if (!m_editor) return;
    if (auto* line = qobject_cast<QLineEdit*>(m_editor.data())) {
        line->setSelection(int(replacementRange.location), int(replacementRange.length));
        line->insert(text);
        return;
    }
    QTextDocument* doc = documentOf(m_editor);
    if (!doc) return;
    const int last = doc->characterCount() - 1;
    QTextCursor cursor(doc);
    cursor.setPosition(int(std::clamp<qint64>(replacementRange.location, 0, last)));
    cursor.setPosition(int(std::clamp<qint64>(replacementRange.end(), 0, last)), QTextCursor::KeepAnchor);
    cursor.insertText(text);
    // The caret goes after the replacement, as typing it would leave it.
    if (auto* plain = qobject_cast<QPlainTextEdit*>(m_editor.data())) plain->setTextCursor(cursor);
    else if (auto* rich = qobject_cast<QTextEdit*>(m_editor.data())) rich->setTextCursor(cursor);
}
