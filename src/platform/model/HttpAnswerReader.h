#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// An HTTP/1.1 answer read as its bytes arrive: the status line, the headers, then a body framed by
// Content-Length, by chunks, or by the end of the connection. A body past the cap is an error at
// once, so a server that never stops sending fills no memory.
class HttpAnswerReader {
public:
    enum class State { reading, complete, failed };

    explicit HttpAnswerReader(qint64 maxBodyBytes) : m_maxBody(maxBodyBytes) {}

    // Takes the next bytes of the connection; the state after them.
    State feed(QByteArrayView bytes);
    // The connection has ended: a body framed by its end is complete there, any other is cut off.
    State closed();

    State state() const { return m_state; }
    int status() const { return m_status; }
    const QByteArray& body() const { return m_body; }
    // What is wrong with the answer, when it failed.
    const QString& error() const { return m_error; }

    static constexpr qint64 kMaxHeaderBytes = 64 * 1024;

private:
    enum class Phase { headers, sized, chunkSize, chunkData, chunkEnd, trailers, untilClose, done };

    // The next line of the pending bytes without its line end; false when it has not all come.
    bool takeLine(QByteArray& line, qint64 limit);
    bool headerLine(const QByteArray& line);
    bool chunkSizeLine(const QByteArray& line);
    void takeBody(qint64 count);
    bool fail(const QString& why);
    bool tooLarge();
    void complete();

    qint64 m_maxBody;
    State m_state = State::reading;
    Phase m_phase = Phase::headers;
    QByteArray m_pending; // bytes not yet read: a part of a line, or body bytes
    QByteArray m_body;
    QString m_error;
    int m_status = 0;
    qint64 m_headerBytes = 0;
    qint64 m_length = -1; // Content-Length, when told
    bool m_chunked = false;
    qint64 m_left = 0; // of the sized body or of the chunk
};
