#pragma once

// How `sorelwick` starts when no command-line verb is given: hands the option (--trigger,
// --settings, --onboarding, --about, --quit) to a Sorelwick that already runs, or becomes the one
// that runs: checks for a display, starts the desktop application and answers later requests.
namespace Launcher {

// No arguments, or one of the options above: the desktop application, not the command line.
bool isDesktopLaunch(int argc, char** argv);
int run(int argc, char** argv);

} // namespace Launcher
