// The process entry: the program host's start-up, then the shell. Every path ends the
// process with exit code 0 from inside the shell.
#include "app/shell.h"
#include "platform/platform.h"
#include "runtime/host.h"

int main(int argc, char** argv) {
    platform::StartProcess(argc, argv);
    runtime::HostStartup();
    app::StartProgram();
}
