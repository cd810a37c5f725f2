#include "platform/model/HttpAnswerReader.h"

#include <QList>

#include <algorithm>

namespace {

constexpr qint64 kMaxChunkSizeLine = 1024;

bool isHex(const QByteArray& text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
}

bool isDecimal(const QByteArray& text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

HttpAnswerReader::State HttpAnswerReader::feed(QByteArrayView bytes)
{
    if (m_state != State::reading) return m_state;
    m_pending.append(bytes);
    while (m_state == State::reading) {
        QByteArray line;
        switch (m_phase) {
        case Phase::headers:
            if (!takeLine(line, kMaxHeaderBytes - m_headerBytes)) return m_state;
            m_headerBytes += line.size() + 2;
            headerLine(line);
            break;
        case Phase::sized:
        case Phase::chunkData:
            takeBody(std::min<qint64>(m_left, m_pending.size()));
            if (m_left > 0) return m_state;
            if (m_phase == Phase::sized) complete();
            else m_phase = Phase::chunkEnd;
            break;
        case Phase::chunkEnd:
            if (m_pending.startsWith("\r\n") || m_pending.startsWith('\n')) {
                m_pending.remove(0, m_pending.startsWith('\n') ? 1 : 2);
                m_phase = Phase::chunkSize;
            } else if (m_pending.isEmpty() || m_pending == "\r") {
                return m_state;
            } else {
                fail(QStringLiteral("a chunk longer than its size"));
            }
            break;
        case Phase::chunkSize:
            if (!takeLine(line, kMaxChunkSizeLine)) return m_state;
            chunkSizeLine(line);
            break;
        case Phase::trailers:
            if (!takeLine(line, kMaxHeaderBytes)) return m_state;
            if (line.isEmpty()) complete();
            break;
        case Phase::untilClose:
            if (m_body.size() + m_pending.size() > m_maxBody) {
                tooLarge();
                break;
            }
            m_left = m_pending.size();
            takeBody(m_left);
            return m_state;
        case Phase::done:
            return m_state;
        }
    }
    return m_state;
}

HttpAnswerReader::State HttpAnswerReader::closed()
{
    if (m_state != State::reading) return m_state;
    if (m_phase == Phase::untilClose) complete();
    else if (m_status == 0 && m_headerBytes == 0 && m_pending.isEmpty()) fail(QStringLiteral("the connection closed without an answer"));
    else fail(QStringLiteral("the connection closed before the answer ended"));
    return m_state;
}

bool HttpAnswerReader::takeLine(QByteArray& line, qint64 limit)
{
    const qsizetype end = m_pending.indexOf('\n');
    if (end < 0 ? m_pending.size() > limit : end + 1 > limit) return fail(QStringLiteral("a line of the answer too long"));
    if (end < 0) return false;
    line = m_pending.left(end);
    if (line.endsWith('\r')) line.chop(1);
    m_pending.remove(0, end + 1);
    return true;
}

bool HttpAnswerReader::headerLine(const QByteArray& line)
{
    if (m_status == 0) {
        const QList<QByteArray> parts = line.split(' ');
        const int status = parts.size() >= 2 && parts[1].size() == 3 && isDecimal(parts[1]) ? parts[1].toInt() : 0;
        if (!parts[0].startsWith("HTTP/1.") || status < 100 || status > 599)
            return fail(QStringLiteral("not an HTTP answer: ") + QString::fromLatin1(line.left(40)));
        m_status = status;
        return true;
    }
    if (line.isEmpty()) {
        if (m_status < 200) {
            // An interim answer (100 Continue): the final one follows.
            m_status = 0;
            m_length = -1;
            m_chunked = false;
        } else if (m_status == 204 || m_status == 304) {
            complete();
        } else if (m_chunked) {
            m_phase = Phase::chunkSize;
        } else if (m_length > m_maxBody) {
            return tooLarge();
        } else if (m_length >= 0) {
            m_left = m_length;
            m_phase = Phase::sized;
        } else {
            m_phase = Phase::untilClose;
        }
        return true;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0) return fail(QStringLiteral("a malformed header line"));
    const QByteArray name = line.left(colon).trimmed().toLower();
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (name == "content-length") {
        if (!isDecimal(value) || value.size() > 18) return fail(QStringLiteral("a malformed Content-Length"));
        const qint64 length = value.toLongLong();
        if (m_length >= 0 && m_length != length) return fail(QStringLiteral("two different Content-Lengths"));
        m_length = length;
    } else if (name == "transfer-encoding") {
        // Chunked as the last coding; a body in any other coding would be read as something else.
        const QByteArray last = value.toLower().split(',').last().trimmed();
        if (last != "chunked") return fail(QStringLiteral("a Transfer-Encoding not read here: ") + QString::fromLatin1(value));
        m_chunked = true;
    }
    return true;
}

bool HttpAnswerReader::chunkSizeLine(const QByteArray& line)
{
    const qsizetype extension = line.indexOf(';');
    const QByteArray hex = (extension < 0 ? line : line.left(extension)).trimmed();
    if (!isHex(hex) || hex.size() > 15) return fail(QStringLiteral("a malformed chunk size"));
    const qint64 size = hex.toLongLong(nullptr, 16);
    if (size == 0) {
        m_phase = Phase::trailers;
    } else if (m_body.size() + size > m_maxBody) {
        return tooLarge();
    } else {
        m_left = size;
        m_phase = Phase::chunkData;
    }
    return true;
}

void HttpAnswerReader::takeBody(qint64 count)
{
    m_body.append(m_pending.constData(), count);
    m_pending.remove(0, count);
    m_left -= count;
}

bool HttpAnswerReader::tooLarge() { return fail(QStringLiteral("answer larger than %1 bytes").arg(m_maxBody)); }

bool HttpAnswerReader::fail(const QString& why)
{
    m_state = State::failed;
    m_phase = Phase::done;
    m_error = why;
    m_pending.clear();
    m_body.clear();
    return false;
}

void HttpAnswerReader::complete()
{
    m_state = State::complete;
    m_phase = Phase::done;
    m_pending.clear();
}
