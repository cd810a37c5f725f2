#pragma once

// How `sorelwick` starts when no command-line verb is given: hands the option (--trigger,
// --settings, --onboarding, --about, --quit) to a Sorelwick that already runs, or becomes the one
// that runs: checks for a display, starts the desktop application and answers later requests.
namespace Launcher {

// No arguments, or one of the options above: the desktop application, not the command line.
bool isDesktopLaunch(int argc, char** argv);
int run(int argc, char** argv);

// The running application replaced by a fresh start of itself, in the same process (its PID,
// its place in the session); open windows and the tray icon come back as a start makes them.
// Returns only when that failed, which it logs.
void restartInPlace();

} // namespace Launcher
