#include "support/FakeLanguageModel.h"

#include <QTimer>

#include <qcoro/qcorotimer.h>

namespace {
const QString kNothingQueued = QStringLiteral("the fake model has no answer queued");
const QString kGivenUp = QStringLiteral("the request was given up");
}

FakeLanguageModel::FakeLanguageModel() = default;

FakeLanguageModel::~FakeLanguageModel() = default;

void FakeLanguageModel::queueStructured(const QJsonObject& answer) { m_structured.push_back({answer}); }
void FakeLanguageModel::queueStructuredError(const QString& error)
{
    m_structured.push_back({std::variant<QJsonObject, QString>(std::in_place_index<1>, error)});
}
void FakeLanguageModel::queueText(const QString& answer)
{
    m_text.push_back({std::variant<QString, QString>(std::in_place_index<0>, answer)});
}
void FakeLanguageModel::queueTextError(const QString& error)
{
    m_text.push_back({std::variant<QString, QString>(std::in_place_index<1>, error)});
}

void FakeLanguageModel::release() { m_held = false; }

QCoro::Task<bool> FakeLanguageModel::waitWhileHeld()
{
    const int givenUp = m_givenUp;
    // Looks again at each turn of the event loop. (Awaiting QTimer::timeout through qCoro's
    // signal awaiter binds its private-signal tag to null, which UBSan reports.)
    while (m_held && m_givenUp == givenUp) {
        QTimer tick;
        tick.setSingleShot(true);
        tick.start(1);
        co_await tick;
    }
    co_return m_givenUp == givenUp;
}

QCoro::Task<bool> FakeLanguageModel::isAvailable()
{
    ++m_availabilityChecks;
    co_return m_available;
}

QCoro::Task<LanguageModel::Answer<QJsonObject>> FakeLanguageModel::respondStructured(QString instructions,
                                                                                   QString prompt,
                                                                                   QJsonObject schema)
{
    m_requests.append(Request{Kind::structured, instructions, prompt, schema});
    if (!co_await waitWhileHeld())
        co_return Answer<QJsonObject>{std::variant<QJsonObject, QString>(std::in_place_index<1>, kGivenUp)};
    if (m_structured.empty())
        co_return Answer<QJsonObject>{std::variant<QJsonObject, QString>(std::in_place_index<1>, kNothingQueued)};
    Answer<QJsonObject> answer = m_structured.front();
    m_structured.pop_front();
    co_return answer;
}

QCoro::Task<LanguageModel::Answer<QString>> FakeLanguageModel::respondText(QString instructions, QString prompt)
{
    m_requests.append(Request{Kind::text, instructions, prompt, QJsonObject()});
    if (!co_await waitWhileHeld())
        co_return Answer<QString>{std::variant<QString, QString>(std::in_place_index<1>, kGivenUp)};
    if (m_text.empty())
        co_return Answer<QString>{std::variant<QString, QString>(std::in_place_index<1>, kNothingQueued)};
    Answer<QString> answer = m_text.front();
    m_text.pop_front();
    co_return answer;
}
