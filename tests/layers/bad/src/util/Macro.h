// A low-layer header that names a parser header through a macro.
#pragma once
#define VEKT_HIGHER_HEADER "parser/LineFlags.h"
#include VEKT_HIGHER_HEADER
