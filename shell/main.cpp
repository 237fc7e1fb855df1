#include "shell/startup.h"

int main(int argc, char** argv) {
    return tvk::taviskMain(argc, argv);
}
