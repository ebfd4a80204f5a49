// korvax: the desktop scanner.
#include "gui/program.h"

int main(int argc, char** argv) { return korvax::KorvaxMain(argc, argv); }
