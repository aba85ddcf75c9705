#include "flow/OrbaOptimizer.h"

// Sections hold no flow yet: there is nothing to lay out.
void OrbaOptimizer::run() {}
void OrbaOptimizer::layoutDebugSections() {}
