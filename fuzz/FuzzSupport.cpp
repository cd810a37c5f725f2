#include "FuzzSupport.h"

#include <QCoreApplication>

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

void fail(const char* file, int line, const char* condition, const QString& detail)
{
    std::fprintf(stderr, "%s:%d: property failed: %s\n%s\n", file, line, condition, detail.toUtf8().constData());
    std::abort();
}

} // namespace Fuzz
