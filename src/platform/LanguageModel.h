#pragma once

#include <QJsonObject>
#include <QString>

#include <qcoro/qcorotask.h>

#include <memory>
#include <variant>

// A language model on this machine. Each request stands alone (no conversation is kept); a
// failure comes back as an error text for the log, never as an exception.
class LanguageModel {
public:
    template <typename T>
    struct Answer {
        std::variant<T, QString> value; // the answer, or the error's description
        bool ok() const { return value.index() == 0; }
        const T& get() const { return std::get<0>(value); }
        const QString& error() const { return std::get<1>(value); }
    };

    virtual ~LanguageModel() = default;

    // Asked afresh before each use; never cached by callers.
    virtual QCoro::Task<bool> isAvailable() = 0;
    // A JSON object shaped by schema (the schema is also shown to the model in the prompt).
    virtual QCoro::Task<Answer<QJsonObject>> respondStructured(QString instructions, QString prompt,
                                                               QJsonObject schema) = 0;
    // Free text.
    virtual QCoro::Task<Answer<QString>> respondText(QString instructions, QString prompt) = 0;
    // Ends every request still running with an error, at once (its connection closed): nobody
    // waits for its answer any more.
    virtual void giveUpRequests() = 0;
};
