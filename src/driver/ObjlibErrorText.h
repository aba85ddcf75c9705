// The texts of the object store's and the object producer's error codes, which the
// fatal messages F008 and F009 carry.
#pragma once

#include <cstdint>

// A code outside the table gives a text that names the code; that text is kept
// in one static buffer per function and replaced by the next such call.
const char* ios_error_text(int32_t code);
const char* objlib_error_text(int32_t code);
