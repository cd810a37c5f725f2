#pragma once

#include <QByteArray>
#include <QList>

#include <memory>
#include <variant>

#include <qcoro/qcorotask.h>

class X11Connection;
union _XEvent;
typedef union _XEvent XEvent;

// Reads one selection (CLIPBOARD, PRIMARY) from whoever owns it, on our own connection, so that
// a slow or hung owner costs a bounded wait and nothing else: each read gives up after its time
// limit, and data above the size limit is not taken. The event loop runs while a read waits; each
// read has a window of its own, so reads that overlap never take each other's answers. Large data
// arrives in pieces (INCR), each within the time limit; a transfer we give up goes on into its
// window, its pieces dropped as they come, so that the owner finishes rather than writes to a
// window that is gone. The reader outlives its reads: whoever reads holds its clipboard.
class X11SelectionReader {
public:
    static constexpr qint64 timeLimitMs = 2000;
    static constexpr qint64 transferTimeLimitMs = 30000; // all the pieces of one read
    static constexpr qint64 sizeLimit = qint64(64) << 20;

    // brokenOff: a piece was gone before we could read it; the transfer cannot be whole.
    enum class Failure { noOwner, refused, timedOut, tooLarge, brokenOff };
    using Result = std::variant<QByteArray, Failure>;

    X11SelectionReader(std::shared_ptr<X11Connection> connection, unsigned long selection);
    ~X11SelectionReader();
    X11SelectionReader(const X11SelectionReader&) = delete;
    X11SelectionReader& operator=(const X11SelectionReader&) = delete;

    // The owner's data for target, byte for byte as the owner wrote it.
    QCoro::Task<Result> read(unsigned long target);
    // The targets the owner offers, in its order.
    QCoro::Task<std::variant<QList<unsigned long>, Failure>> targets();

    static const char* describe(Failure failure);

private:
    unsigned long newWindow() const;
    QCoro::Task<Result> readInto(unsigned long window, unsigned long target);
    QCoro::Task<Result> readPieces(unsigned long window);
    Failure abandon(unsigned long window, Failure failure);
    void onEvent(const XEvent& event);

    std::shared_ptr<X11Connection> m_connection;
    unsigned long m_selection;
    unsigned long m_property;
    unsigned long m_incr;
    QList<unsigned long> m_abandoned; // windows of transfers given up, until their last piece
    int m_handler = 0;
};
