// The list-file filter that the parser shares with the list writer; the flag bits it
// reads are named with the line record.
#pragma once

#include "util/LineInfo.h"

// Whether the list file shows the line, by its flags and the list flags of its
// control state; a line without a control state is not listed.
bool isListed(const LineInfo& line);
