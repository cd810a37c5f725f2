// `sorelwick`: hands a hand-over option (--trigger …) to the running program at once; a start
// without arguments, and a request nobody is there to take, go to the full program (installed
// beside it, at SORELWICK_PROGRAM_FROM_FRONT), and the command line's verbs to the program of the
// command line alone (SORELWICK_CLI_FROM_FRONT), which start in this process.
#include "app/front/HandOver.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// A program's path: this one's folder, then the relative path to it.
bool programPath(char (&path)[PATH_MAX], const char* relative)
{
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return false;
    self[n] = '\0';
    char* slash = std::strrchr(self, '/');
    if (!slash) return false;
    *slash = '\0';
    const int m = std::snprintf(path, sizeof path, "%s/%s", self, relative);
    return m > 0 && size_t(m) < sizeof path;
}

} // namespace

int main(int argc, char** argv)
{
    const char* request = HandOver::requestOf(argc, argv);
    if (request) {
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
    // What the full program takes for a desktop start (Launcher::isDesktopLaunch).
    const bool desktop = argc == 1 || request;
    char path[PATH_MAX];
    if (!programPath(path, desktop ? SORELWICK_PROGRAM_FROM_FRONT : SORELWICK_CLI_FROM_FRONT)) {
        std::fprintf(stderr, "sorelwick: cannot tell where this program is installed (/proc/self/exe)\n");
        return 127;
    }
    ::execv(path, argv);
    std::fprintf(stderr, "sorelwick: cannot start %s: %s\n", path, std::strerror(errno));
    return 127;
}
