// A program-model source that climbs out of its folder to reach a parser header.
#include "../parser/LineFlags.h"
