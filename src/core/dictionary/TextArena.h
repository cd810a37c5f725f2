#pragma once

// The text of a dictionary part, appended to one QString. The parser decodes straight into room
// made beforehand, a unit per byte of the lines to come, so decoding never checks for room and
// never copies; entries keep 32-bit offsets into the text instead of strings of their own.

#include "core/dictionary/TextHash.h"

#include <QString>
#include <QStringView>

#include <algorithm>

class TextArena {
public:
    TextArena(QString& text, qsizetype room)
        : m_text(text)
    {
        m_text = QString(std::max<qsizetype>(room, 64), Qt::Uninitialized); // no room beyond that
        m_base = reinterpret_cast<char16_t*>(m_text.data());
        m_end = m_base;
    }
    void ensure(qsizetype units)
    {
        if (units <= m_text.size() - (m_end - m_base)) return;
        const qsizetype used = m_end - m_base;
        m_text.resize(std::max(used + units, m_text.size() + m_text.size() / 2));
        m_base = reinterpret_cast<char16_t*>(m_text.data());
        m_end = m_base + used;
    }
    char16_t* cursor() const { return m_end; }
    void setCursor(char16_t* cursor) { m_end = cursor; }
    quint32 offset(const char16_t* p) const { return quint32(p - m_base); }
    quint32 used() const { return offset(m_end); }
    const char16_t* at(quint32 offset) const { return m_base + offset; }
    QStringView view(quint32 offset, qsizetype length) const { return QStringView(m_base + offset, length); }

    // Composes the text from offset to the cursor, keeping room for `roomStillNeeded` more
    // units after it; returns its new length. Only what composition adds is asked for.
    qsizetype compose(quint32 offset, qsizetype roomStillNeeded)
    {
        const QString composed = view(offset, m_end - (m_base + offset)).toString().normalized(QString::NormalizationForm_C);
        const qsizetype added = composed.size() - (m_end - (m_base + offset));
        if (added > 0) ensure(added + roomStillNeeded);
        m_end = std::copy(DictionaryText::unitsOf(composed), DictionaryText::unitsOf(composed) + composed.size(), m_base + offset);
        return composed.size();
    }

private:
    QString& m_text;
    char16_t* m_base = nullptr;
    char16_t* m_end = nullptr;
};
