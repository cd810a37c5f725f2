#include "cli/Cli.h"

int main(int argc, char** argv)
{
    return Cli::run(argc, argv);
}
