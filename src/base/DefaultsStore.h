#pragma once

#include <QJsonValue>
#include <QString>

#include <cmath>
#include <optional>

// The user's settings: string keys with JSON values. Values are read at the moment of use and
// never cached by callers.
class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;

    // Undefined when the key is absent.
    virtual QJsonValue value(const QString& key) = 0;
    virtual void setValue(const QString& key, const QJsonValue& value) = 0;
    virtual void remove(const QString& key) = 0;

    bool contains(const QString& key) { return !value(key).isUndefined(); }

    // A value of a foreign type reads as the fallback.
    QString string(const QString& key, const QString& fallback = QString())
    {
        const QJsonValue v = value(key);
        return v.isString() ? v.toString() : fallback;
    }
    bool boolean(const QString& key, bool fallback = false)
    {
        const QJsonValue v = value(key);
        return v.isBool() ? v.toBool() : fallback;
    }
    // Whole numbers only, and only where a double still holds them exactly.
    std::optional<qint64> integer(const QString& key)
    {
        const QJsonValue v = value(key);
        if (!v.isDouble()) return std::nullopt;
        const double d = v.toDouble();
        if (!std::isfinite(d) || d != std::floor(d) || std::fabs(d) > 9007199254740992.0) return std::nullopt;
        return qint64(d);
    }
};

