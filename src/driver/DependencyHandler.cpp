#include "driver/DependencyHandler.h"

// No option asks for a dependency file yet.
void DependencyHandler::writeDependencyFile() {}
