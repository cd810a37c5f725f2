#pragma once

#include "platform/LanguageModel.h"

#include <QList>

#include <deque>
#include <memory>

// An in-memory model for tests: scripted availability and answers, every request recorded.
// Answers are served in the order they were queued, structured and text answers from separate
// queues; a request with nothing queued gets an error. Keep the fake alive until the requests it
// holds have been answered.
class FakeLanguageModel : public LanguageModel {
public:
    enum class Kind { structured, text };
    struct Request {
        Kind kind;
        QString instructions;
        QString prompt;
        QJsonObject schema; // empty for text requests
    };

    FakeLanguageModel();
    ~FakeLanguageModel() override;

    void setAvailable(bool available) { m_available = available; }
    void queueStructured(const QJsonObject& answer);
    void queueStructuredError(const QString& error);
    void queueText(const QString& answer);
    void queueTextError(const QString& error);

    // While held, requests wait (the event loop keeps running) until release() lets them all go.
    void hold() { m_held = true; }
    void release();

    const QList<Request>& requests() const { return m_requests; }
    int availabilityChecks() const { return m_availabilityChecks; }
    int givenUp() const { return m_givenUp; }

    QCoro::Task<bool> isAvailable() override;
    QCoro::Task<Answer<QJsonObject>> respondStructured(QString instructions, QString prompt,
                                                       QJsonObject schema) override;
    QCoro::Task<Answer<QString>> respondText(QString instructions, QString prompt) override;
    // Held requests end with an error.
    void giveUpRequests() override { ++m_givenUp; }

private:
    // False when the requests were given up meanwhile.
    QCoro::Task<bool> waitWhileHeld();

    bool m_available = true;
    bool m_held = false;
    int m_availabilityChecks = 0;
    int m_givenUp = 0;
    std::deque<Answer<QJsonObject>> m_structured;
    std::deque<Answer<QString>> m_text;
    QList<Request> m_requests;
};
