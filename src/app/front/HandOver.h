#pragma once

// The quick path of `sorelwick --trigger` (and --settings, --onboarding, --about, --quit): a
// desktop shortcut starts it for every press, so it hands the request to the running program over
// its socket without loading Qt or anything else the program needs. Where it cannot tell that a
// program runs and listens, the full program takes over and does what a start does.
namespace HandOver {

enum class Outcome {
    handed, // the running program answered "ok"
    unanswered, // it listens, but did not take the request
    notRunning, // nobody listens at a safe socket: the full program is to start
};

// argv's one option, if it is a hand-over option; null otherwise.
const char* requestOf(int argc, char** argv);
// Sends the request (a name from InstanceWire) with the desktop's tokens from the environment
// to the program listening in the runtime folder.
Outcome send(const char* request);

} // namespace HandOver
