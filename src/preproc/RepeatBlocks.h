// The iteration rule of the repeat blocks (.DUP, .DUPA, .DUPC, .DUPF), shared by the
// first iteration and by every .ENDM that ends one.
#pragma once

#include <cstdint>

class MppConstruct;

// Advances the repeat block to its next iteration; false when none is left. value
// receives the loop parameter's interned text for the iteration: null for .DUP and
// for an omitted .DUPA item. A .DUPF value is written in the radix given (8: octal,
// 16: "0x" and lower-case hexadecimal, else signed decimal).
// A .DUPF whose next value would leave the 64-bit range ends after the current one.
bool nextRepeatIteration(MppConstruct& repeat, int32_t radix, const char** value);
