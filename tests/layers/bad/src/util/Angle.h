// A low-layer header that names a driver header in angle brackets.
#pragma once
#include <driver/OrbaOptions.h>
