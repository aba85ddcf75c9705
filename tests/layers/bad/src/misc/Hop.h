// A header in a folder that is no layer, passing a driver header on to whoever includes it.
#pragma once
#include "driver/High.h"
