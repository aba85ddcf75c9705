// A low-layer header that reaches up into the driver: the layer check must refuse it.
#pragma once
#include "driver/High.h"
