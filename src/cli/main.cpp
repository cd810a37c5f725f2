#include "cli/Cli.h"

// `sorelwick lookup …` and the other verbs, as bin/sorelwick starts them.
int main(int argc, char** argv) { return Cli::run(argc, argv); }
