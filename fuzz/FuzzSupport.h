#pragma once

#include <QByteArray>
#include <QDebug>
#include <QString>
#include <QStringDecoder>

#include <cstddef>
#include <cstdint>

// What the fuzz targets share: a Qt application, made in LLVMFuzzerInitialize (coroutines wait in
// an event loop), and a property check that stops the run with what went wrong, so libFuzzer keeps
// the input as a crash.
namespace Fuzz {

[[noreturn]] void fail(const char* file, int line, const char* condition, const QString& detail);

inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Whether bytes are UTF-8 as RFC 3629 has it: Qt's decoder, not the loaders' scan, refuses overlong
// forms, surrogates and anything above U+10FFFF.
inline bool validUtf8(const QByteArray& bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    (void)QString(decoder(bytes));
    return !decoder.hasError();
}

// A form of text fit for a failure message: quoted, the unprintable escaped.
inline QString show(const QString& text)
{
    QString out;
    QDebug(&out).nospace() << text;
    return out;
}

} // namespace Fuzz

#define FUZZ_CHECK(condition, detail)                                                              \
    do {                                                                                           \
        if (!(condition)) Fuzz::fail(__FILE__, __LINE__, #condition, (detail));                    \
    } while (0)
