#include "FuzzSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <syslog.h>

// A fuzzer logs millions of lines about bad input; they stay out of the system journal. The
// program's own syslog is replaced in these executables only.
extern "C" void syslog(int, const char*, ...) {}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    static int argc = 1;
    static char name[] = "sorelwick-fuzz";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    return 0;
}

namespace Fuzz {

QString scratchFolder()
{
    const QFileInfo shm(QStringLiteral("/dev/shm"));
    return shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
}

void fail(const char* file, int line, const char* condition, const QString& detail)
{
    std::fprintf(stderr, "%s:%d: property failed: %s\n%s\n", file, line, condition, detail.toUtf8().constData());
    std::abort();
}

QString koreanText(const uint8_t* data, size_t size)
{
    QString out;
    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        if (b < 0x80) {
            out += QChar(b);
        } else if (b < 0xDE) {
            out += QChar(char16_t(0x3131 + (b - 0x80)));
        } else {
            const unsigned next = i + 1 < size ? data[++i] : 0;
            out += QChar(char16_t(0xAC00 + ((b - 0xDE) * 256u + next) * 331u % 11172u));
        }
    }
    return out;
}

QString show(const QString& text)
{
    QString out = QStringLiteral("\"");
    for (QChar c : text) {
        if (c.unicode() >= 0x20 && c.unicode() != 0x7F && !c.isSurrogate())
            out += c;
        else
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    out += QStringLiteral("\" [");
    for (QChar c : text) out += QStringLiteral(" %1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    return out + QStringLiteral(" ]");
}

bool validUtf8(const QByteArray& b)
{
    const auto* s = reinterpret_cast<const unsigned char*>(b.constData());
    const qsizetype n = b.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned c = s[i];
        int extra;
        unsigned min, cp;
        if (c < 0x80) { ++i; continue; }
        else if ((c & 0xE0) == 0xC0) { extra = 1; min = 0x80; cp = c & 0x1F; }
        else if ((c & 0xF0) == 0xE0) { extra = 2; min = 0x800; cp = c & 0x0F; }
        else if ((c & 0xF8) == 0xF0) { extra = 3; min = 0x10000; cp = c & 0x07; }
        else return false;
        if (i + extra >= n) return false;
        for (int k = 1; k <= extra; ++k) {
            if ((s[i + k] & 0xC0) != 0x80) return false;
            cp = cp << 6 | (s[i + k] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += extra + 1;
    }
    return true;
}

} // namespace Fuzz
