#pragma once

#include <glib.h>

#include <QString>

// A place for the GError a libatspi call may report; freed when it goes. Pass out() to the call.
class GErrorSlot {
public:
    GErrorSlot() = default;
    GErrorSlot(const GErrorSlot&) = delete;
    GErrorSlot& operator=(const GErrorSlot&) = delete;
    ~GErrorSlot()
    {
        if (m_error) g_error_free(m_error);
    }

    GError** out()
    {
        if (m_error) g_clear_error(&m_error);
        return &m_error;
    }
    bool failed() const { return m_error != nullptr; }
    QString message() const { return m_error ? QString::fromUtf8(m_error->message) : QString(); }

private:
    GError* m_error = nullptr;
};
