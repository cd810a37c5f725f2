#pragma once

#include <QList>
#include <QMetaEnum>
#include <QString>

#include <optional>

// Settings and printed names store an enumeration by its case name ("hanjaOnly"). These read the
// names from the enumeration's Q_ENUM_NS, so there is no second table to keep in step.
namespace EnumKeys {

template <typename E>
QString key(E value)
{
    return QString::fromLatin1(QMetaEnum::fromType<E>().valueToKey(int(value)));
}

// Exactly a case name (case-sensitive, unqualified); absent for anything else.
template <typename E>
std::optional<E> fromKey(const QString& name)
{
    const QMetaEnum meta = QMetaEnum::fromType<E>();
    for (int i = 0; i < meta.keyCount(); ++i)
        if (name == QLatin1String(meta.key(i))) return E(meta.value(i));
    return std::nullopt;
}

// Every case, in declaration order.
template <typename E>
QList<E> all()
{
    const QMetaEnum meta = QMetaEnum::fromType<E>();
    QList<E> values;
    for (int i = 0; i < meta.keyCount(); ++i) values.append(E(meta.value(i)));
    return values;
}

} // namespace EnumKeys
