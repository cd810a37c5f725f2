#pragma once

#include <QJsonValue>
#include <QString>

#include <cmath>
#include <functional>
#include <optional>

// The user's settings: string keys with JSON values. Values are read at the moment of use and
// never cached by callers.
class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;

    // The new value of a key from its current one (undefined when absent); undefined removes it.
    // A change kept unsaved is called again on each fresh read of the key until it is saved, so
    // it owns what it uses (captures by value).
    using Change = std::function<QJsonValue(const QJsonValue& current)>;

    // What becomes of a change that could not be saved.
    enum class Unsaved {
        // It stays in force in this process, through later reads and changes, made again over
        // what other processes save meanwhile, and is saved with the first change that can be:
        // what the user chose is not taken back behind their back, nor are others' changes.
        // Notifications::settingsDidFailToSave tells whoever tells the user.
        keep,
        // It is undone, for a caller that tells the user the change did not happen.
        drop,
    };

    // Undefined when the key is absent.
    virtual QJsonValue value(const QString& key) = 0;
    // Reads the key and writes change(value) back as one step: no other writer, in this process
    // or another, comes in between, and no other key is touched. False (and a log line) when the
    // change could not be saved.
    virtual bool update(const QString& key, const Change& change, Unsaved unsaved = Unsaved::keep) = 0;
    // Changes kept unsaved wait for a write that saves them: a process leaving now loses them.
    virtual bool holdsUnsaved() { return false; }
    // Why the stored settings cannot be read (values read now are the defaults), absent when
    // they can, or when none are stored.
    virtual std::optional<QString> readFailure() { return std::nullopt; }

    bool setValue(const QString& key, const QJsonValue& value, Unsaved unsaved = Unsaved::keep)
    {
        return update(key, [value](const QJsonValue&) { return value; }, unsaved);
    }
    bool remove(const QString& key, Unsaved unsaved = Unsaved::keep)
    {
        return update(key, [](const QJsonValue&) { return QJsonValue(QJsonValue::Undefined); }, unsaved);
    }

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

