#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// What the fuzz targets share: a Qt application, made in LLVMFuzzerInitialize (coroutines wait in
// an event loop), and a property check that stops the run with what went wrong, so libFuzzer keeps
// the input as a crash.
namespace Fuzz {

// Where targets write their files: memory (/dev/shm) when there is one, as every write is synced.
QString scratchFolder();

[[noreturn]] void fail(const char* file, int line, const char* condition, const QString& detail);

inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Text that reaches Korean quickly from few bytes: bytes below 0x80 are ASCII; 0x80 to 0xDD are
// the 94 compatibility jamo; 0xDE to 0xFF take the next byte too and give a Hangul syllable.
QString koreanText(const uint8_t* data, size_t size);

// Whether bytes are UTF-8 as RFC 3629 has it: no overlong forms, no surrogates, nothing above U+10FFFF.
bool validUtf8(const QByteArray& bytes);

// A form of text fit for a failure message: printable, with the code points of the rest.
QString show(const QString& text);

} // namespace Fuzz

#define FUZZ_CHECK(condition, detail)                                                              \
    do {                                                                                           \
        if (!(condition)) Fuzz::fail(__FILE__, __LINE__, #condition, (detail));                    \
    } while (0)
