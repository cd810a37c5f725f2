#include "app/Launcher.h"
#include "cli/Cli.h"

int main(int argc, char** argv)
{
    if (Launcher::isDesktopLaunch(argc, argv)) return Launcher::run(argc, argv);
    return Cli::run(argc, argv);
}
