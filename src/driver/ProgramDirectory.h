// The directory of the assembler's own executable (for the installation's
// include directory) and the extension replacement behind the default names of
// the output, error and dependency files.
#pragma once

#include <string>

// The program's directory, ending in '/'. path is the first command-line word
// (may be null), name the program name. Without a suffix the result is the
// module's directory text; with one, a new malloc'ed buffer holding the
// directory joined with the suffix and normalised, which the caller frees.
// Null when the directory cannot be determined.
char* findProgramDirectory(const char* path, const char* name, const char* suffix);

// The directory of the last findProgramDirectory joined with the suffix and
// normalised (a new malloc'ed buffer), or the directory text itself for a null suffix.
char* programDirectoryJoin(const char* suffix);

// Replaces the extension of the last path component (from its last '.') by the
// given one, which carries its own '.'; a name without one just gets it appended.
void replaceExtension(std::string& name, const char* extension);
