#pragma once

#include <QByteArray>
#include <QList>

#include <memory>
#include <variant>

class X11Connection;

// Reads one selection (CLIPBOARD, PRIMARY) from whoever owns it, on our own connection, so that
// a slow or hung owner costs a bounded wait and nothing else: each read gives up after its time
// limit, and data above the size limit is not taken. Large data arrives in pieces (INCR).
class X11SelectionReader {
public:
    static constexpr qint64 timeLimitMs = 2000;
    static constexpr qint64 sizeLimit = qint64(64) << 20;

    enum class Failure { noOwner, refused, timedOut, tooLarge };
    using Result = std::variant<QByteArray, Failure>;

    X11SelectionReader(std::shared_ptr<X11Connection> connection, unsigned long selection);
    ~X11SelectionReader();
    X11SelectionReader(const X11SelectionReader&) = delete;
    X11SelectionReader& operator=(const X11SelectionReader&) = delete;

    // The owner's data for target, byte for byte as the owner wrote it.
    Result read(unsigned long target);
    // The targets the owner offers, in its order.
    std::variant<QList<unsigned long>, Failure> targets();

    static const char* describe(Failure failure);

private:
    std::shared_ptr<X11Connection> m_connection;
    unsigned long m_selection;
    unsigned long m_window;
    unsigned long m_property;
    unsigned long m_incr;
};
