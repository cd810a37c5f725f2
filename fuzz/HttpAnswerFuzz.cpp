// Model servers' answers as the model client reads them off the socket. Bytes read in pieces give
// what they give read at once, a body never passes the cap, and any body framed by its length, by
// chunks or by the end of the connection comes back exactly (or is refused past the cap).
#include "FuzzSupport.h"

#include "platform/model/HttpAnswerReader.h"

namespace {

QString describe(const HttpAnswerReader& r)
{
    return QStringLiteral("state %1, status %2, %3 body bytes, error %4")
        .arg(int(r.state()))
        .arg(r.status())
        .arg(r.body().size())
        .arg(r.error());
}

// Fed in pieces of 1 to 97 bytes, their sizes drawn from the step.
void feedInPieces(HttpAnswerReader& reader, const QByteArray& wire, int step)
{
    for (qsizetype at = 0, i = 0; at < wire.size(); ++i) {
        const qsizetype size = 1 + (step * (i + 1)) % 97;
        reader.feed(QByteArrayView(wire.constData() + at, std::min(size, wire.size() - at)));
        at += size;
    }
}

QByteArray chunked(const QByteArray& body, int step)
{
    QByteArray out;
    for (qsizetype at = 0, i = 0; at < body.size(); ++i) {
        const qsizetype size = std::min<qsizetype>(1 + (step * (i + 3)) % 61, body.size() - at);
        out += QByteArray::number(size, 16) + (i == 0 && (step & 2) ? ";ext=1" : "") + "\r\n" + body.mid(at, size) + "\r\n";
        at += size;
    }
    return out + "0\r\n" + ((step & 4) ? "X-Trailer: 1\r\n" : "") + "\r\n";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const qint64 cap = qint64(data[0]) * 4;
    const int step = data[1] | 1;
    const QByteArray payload = Fuzz::bytes(data + 2, size - 2);

    HttpAnswerReader whole(cap), pieces(cap);
    whole.feed(payload);
    whole.closed();
    feedInPieces(pieces, payload, step);
    pieces.closed();
    FUZZ_CHECK(describe(whole) == describe(pieces) && whole.body() == pieces.body(), describe(whole) + " / " + describe(pieces));
    FUZZ_CHECK(whole.body().size() <= cap, describe(whole));

    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n";
    const QByteArray framings[] = {head + "Content-Length: " + QByteArray::number(payload.size()) + "\r\n\r\n" + payload,
                                   head + "Transfer-Encoding: chunked\r\n\r\n" + chunked(payload, step),
                                   head + "\r\n" + payload};
    for (const QByteArray& wire : framings) {
        HttpAnswerReader reader(cap);
        feedInPieces(reader, wire, step);
        reader.closed();
        if (payload.size() > cap)
            FUZZ_CHECK(reader.state() == HttpAnswerReader::State::failed && reader.error().contains("larger than"),
                       describe(reader));
        else
            FUZZ_CHECK(reader.state() == HttpAnswerReader::State::complete && reader.status() == 200
                           && reader.body() == payload,
                       describe(reader) + " for " + Fuzz::show(QString::fromLatin1(wire.left(200))));
    }
    return 0;
}
