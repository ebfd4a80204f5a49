// korvax.exe: the desktop scanner, with the system's own windows.
#include <windows.h>

#include "wingui/program.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return korvax::wingui::KorvaxMain(); }
