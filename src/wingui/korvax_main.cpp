// korvax.exe: the desktop scanner, with the system's own windows.
#include "platform/terminal_process.h"
#include "wingui/program.h"

int main(int argc, char** argv) {
    // The arguments as the system has them (the wide command line, as WTF-8).
    korvax::StartTerminalProgram(argc, argv);
    return korvax::wingui::KorvaxMain(argc, argv);
}
