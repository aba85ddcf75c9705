// Splits the operand text of a macro definition, a macro call or a .DUPA line into
// its items: formal names, argument texts or loop values.
#pragma once

#include <vector>

struct LineInfo;

// Reads the items from the cursor, which it leaves after the list (and after the
// blanks that follow it). Items are separated by commas; a quoted item ('...' or
// "...") keeps commas and blanks and is always present, also when empty; a plain
// item is trimmed and, when nothing is left of it, omitted (stored as null). Two
// quote characters right after the opening quote stand for one. The list ends at
// the end of the line or where a comment (commentString) begins. Items are
// interned. An unclosed quote is E214; text after a quoted item that ends the list
// is E172; both are reported at line.
void splitMacroArguments(const char*& cursor, const char* commentString,
                         std::vector<const char*>& items, const LineInfo* line);
