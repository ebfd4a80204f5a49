// Built as if it were a file of the engine layer: the layers below it are reachable.
#include "database/virus_database.h"
#include "engine/file_image.h"
#include "platform/failure.h"

int LayersDownwardIncludeProbe() { return korvax::FileImage().size(); }
