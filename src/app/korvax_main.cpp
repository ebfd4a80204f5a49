// korvax: the desktop scanner.
#include "app/program.h"

int main(int argc, char** argv) { return korvax::KorvaxMain(argc, argv); }
