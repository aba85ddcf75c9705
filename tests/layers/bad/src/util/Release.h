// A low-layer header whose upward include is seen only with the build's own flags.
#pragma once
#ifdef NDEBUG
#include "output/Report.h"
#endif
