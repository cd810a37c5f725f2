// `sorelwick`: hands a hand-over option (--trigger …) to the running program at once; anything
// else, and a request nobody is there to take, goes to the full program (installed beside it, at
// SORELWICK_PROGRAM_FROM_FRONT), which starts in this process.
#include "app/front/HandOver.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// The full program's path: this one's folder, then the relative path to it.
bool programPath(char (&path)[PATH_MAX])
{
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return false;
    self[n] = '\0';
    char* slash = std::strrchr(self, '/');
    if (!slash) return false;
    *slash = '\0';
    const int m = std::snprintf(path, sizeof path, "%s/%s", self, SORELWICK_PROGRAM_FROM_FRONT);
    return m > 0 && size_t(m) < sizeof path;
}

} // namespace

int main(int argc, char** argv)
{
    if (const char* request = HandOver::requestOf(argc, argv)) {
        switch (HandOver::send(request)) {
        case HandOver::Outcome::handed:
            return 0;
        case HandOver::Outcome::unanswered:
            std::fprintf(stderr, "sorelwick: the running Sorelwick did not answer --%s\n", request);
            return 1;
        case HandOver::Outcome::notRunning:
            break;
        }
    }
    char path[PATH_MAX];
    if (!programPath(path)) {
        std::fprintf(stderr, "sorelwick: cannot tell where this program is installed (/proc/self/exe)\n");
        return 127;
    }
    ::execv(path, argv);
    std::fprintf(stderr, "sorelwick: cannot start %s: %s\n", path, std::strerror(errno));
    return 127;
}
