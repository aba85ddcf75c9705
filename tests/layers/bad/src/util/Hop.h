// A low-layer header that reaches the driver through a folder outside the layers.
#pragma once
#include "misc/Hop.h"
