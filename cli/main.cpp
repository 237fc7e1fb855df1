// tavisk-cli: the catalogue of discs from the shell.
#include "cli/commands.h"

int main(int argc, char** argv) {
    return tvk::cli::runCli(argc, argv);
}
