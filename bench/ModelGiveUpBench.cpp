// What a model request that is given up leaves behind. A server that sends an answer without end
// (chunked, never finished): memory and open sockets before, and while the event loop runs on for
// a few seconds after the request gave up at the size cap. A server that never answers: sockets
// still open after more time-outs than one server has connections, and whether a request gets
// through once it answers again. Prints the figures; nothing is asserted.

#include "base/Defaults.h"
#include "support/MemoryDefaultsStore.h"
#include "platform/model/OpenAiCompatibleModel.h"

#include "HttpPeer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

using namespace std::chrono_literals;

namespace {

qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

// Both ends of every connection to the peer are in this process.
int openSockets()
{
    int n = 0;
    const QDir fds(QStringLiteral("/proc/self/fd"));
    for (const QString& fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot))
        if (QFileInfo(fds.filePath(fd)).symLinkTarget().contains(QLatin1String("socket:"))) ++n;
    return n;
}

void spin(int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void report(const char* when, const HttpPeer& peer)
{
    std::printf("  %-40s RSS %8lld kB   sockets in this process %3d   connections the peer holds open %3lld\n", when,
                residentKb(), openSockets(), (long long)peer.openConnections());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    auto defaults = std::make_shared<MemoryDefaultsStore>();
    Defaults::setShared(defaults);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 5;

    HttpPeer peer;
    peer.listModels();
    defaults->setValue(QStringLiteral("modelEndpoint"), peer.endpoint());
    OpenAiCompatibleModel model(OpenAiCompatibleModel::Timeouts{300ms, 1000ms, 300ms});
    const auto chat = [&] { return QCoro::waitFor(model.respondText(QStringLiteral("지시"), QStringLiteral("글"))); };

    std::printf("An answer without end, given up at the size cap, then %d s of the event loop:\n", seconds);
    report("before", peer);
    peer.next("POST /v1/chat/completions", HttpPeer::Response{200, {}, 0, false, true});
    const auto cut = chat();
    std::printf("  the request: %s\n", cut.ok() ? "answered" : qPrintable(cut.error()));
    report("right after", peer);
    spin(seconds * 1000);
    report(qPrintable(QStringLiteral("%1 s later").arg(seconds)), peer);

    std::printf("A server that never answers, 8 requests timed out, then it answers again:\n");
    for (int i = 0; i < 8; ++i) {
        peer.next("POST /v1/chat/completions", HttpPeer::Response{200, {}, 0, true});
        chat();
    }
    spin(500);
    report("after 8 time-outs", peer);
    peer.next("POST /v1/chat/completions", HttpPeer::chatAnswer(QStringLiteral("안녕하세요")));
    const auto back = chat();
    std::printf("  the request after: %s\n", back.ok() ? "answered" : qPrintable(back.error()));
    return 0;
}
