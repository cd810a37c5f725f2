// What a chat completion answer carries, and the JSON text of a request: pure functions of
// their input, kept apart from the client's connections and time-outs.
#include "platform/model/LogExcerpt.h"
#include "platform/model/OpenAiCompatibleModel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Some servers wrap JSON in a Markdown code fence even when asked for JSON alone.
QByteArray unfenced(const QString& content)
{
    QString text = content.trimmed();
    if (text.startsWith(QLatin1String("```"))) {
        const qsizetype lineEnd = text.indexOf(QLatin1Char('\n'));
        text = lineEnd < 0 ? QString() : text.mid(lineEnd + 1);
        if (text.trimmed().endsWith(QLatin1String("```"))) text = text.trimmed().chopped(3);
    }
    return text.toUtf8();
}

} // namespace

QByteArray OpenAiCompatibleModel::orderedJson(const QJsonValue& value)
{
    if (value.isArray()) {
        QByteArray out("[");
        const QJsonArray array = value.toArray();
        for (qsizetype i = 0; i < array.size(); ++i) {
            if (i > 0) out += ',';
            out += orderedJson(array.at(i));
        }
        return out + ']';
    }
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        QByteArray out("{");
        bool first = true;
        const auto member = [&](const QString& key, const QByteArray& text) {
            if (!first) out += ',';
            first = false;
            out += orderedJson(QJsonValue(key)) + ':' + text;
        };
        const QJsonValue required = object.value(QStringLiteral("required"));
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (it.key() != QLatin1String("properties") || !it->isObject() || !required.isArray()) {
                member(it.key(), orderedJson(*it));
                continue;
            }
            const QJsonObject properties = it->toObject();
            QStringList order;
            for (const QJsonValue& name : required.toArray())
                if (properties.contains(name.toString()) && !order.contains(name.toString()))
                    order.append(name.toString());
            for (auto p = properties.begin(); p != properties.end(); ++p)
                if (!order.contains(p.key())) order.append(p.key());
            QByteArray inner("{");
            for (qsizetype i = 0; i < order.size(); ++i) {
                if (i > 0) inner += ',';
                inner += orderedJson(QJsonValue(order[i])) + ':' + orderedJson(properties.value(order[i]));
            }
            member(it.key(), inner + '}');
        }
        return out + '}';
    }
    // A scalar: let Qt write it, inside a one-element array.
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return wrapped.mid(1, wrapped.size() - 2);
}

LanguageModel::Answer<QString> OpenAiCompatibleModel::chatContent(const QByteArray& body)
{
    using Result = Answer<QString>;
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject())
        return Result{std::variant<QString, QString>(std::in_place_index<1>, QStringLiteral("no JSON object: ") + logExcerpt(body))};
    const QJsonObject choice = doc.object().value(QStringLiteral("choices")).toArray().at(0).toObject();
    // Stopped at the length limit (or by a filter) is part of an answer, which would cut the
    // text it replaces. Older text-generation-inference names the natural end "eos_token".
    const QJsonValue finish = choice.value(QStringLiteral("finish_reason"));
    if (finish.isString() && finish.toString() != QLatin1String("stop") && finish.toString() != QLatin1String("eos_token"))
        return Result{std::variant<QString, QString>(
            std::in_place_index<1>,
            QStringLiteral("only part of an answer (finish_reason \"%1\"): ").arg(finish.toString()) + logExcerpt(body))};
    const QJsonValue content = choice.value(QStringLiteral("message")).toObject().value(QStringLiteral("content"));
    if (!content.isString())
        return Result{std::variant<QString, QString>(
            std::in_place_index<1>, QStringLiteral("without choices[0].message.content: ") + logExcerpt(body))};
    // Reasoning models may think aloud first (<think>…</think>) where the server does not take
    // it apart: the answer is what follows.
    QString text = content.toString();
    static const QString open = QStringLiteral("<think>"), close = QStringLiteral("</think>");
    if (text.trimmed().startsWith(open)) {
        const qsizetype end = text.indexOf(close);
        if (end < 0)
            return Result{std::variant<QString, QString>(
                std::in_place_index<1>, QStringLiteral("only reasoning, no answer after it: ") + logExcerpt(body))};
        text = text.mid(end + close.size()).trimmed();
    }
    return Result{std::variant<QString, QString>(std::in_place_index<0>, text)};
}

LanguageModel::Answer<QJsonObject> OpenAiCompatibleModel::structuredContent(const QString& content,
                                                                           const QJsonObject& schema)
{
    using Result = Answer<QJsonObject>;
    const auto failure = [](const QString& why) {
        return Result{std::variant<QJsonObject, QString>(std::in_place_index<1>, why)};
    };
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(unfenced(content), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return failure(QStringLiteral("the answer is not JSON (%1): %2").arg(parseError.errorString(), logExcerpt(content.toUtf8())));
    if (!doc.isObject()) return failure(QStringLiteral("the answer is not a JSON object: ") + logExcerpt(content.toUtf8()));
    const QJsonObject object = doc.object();
    for (const QJsonValue& name : schema.value(QStringLiteral("required")).toArray())
        if (!object.contains(name.toString()))
            return failure(QStringLiteral("the answer lacks the property \"%1\": %2")
                               .arg(name.toString(), logExcerpt(content.toUtf8())));
    return Result{object};
}
