// Built as if it were a file of the engine layer: the check layer lies above it, so this
// include must fail. The build is expected to stop here; see CMakeLists.txt.
#include "check/program_state.h"

int LayersUpwardIncludeProbe() { return 0; }
