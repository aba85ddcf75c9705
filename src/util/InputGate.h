// Whether the run may read a file of a given name. The assembler reads whatever its
// user names; a harness that runs arbitrary text through it (a fuzz target) confines
// the reading to a folder of its own. Asked before a source, include, option file or
// loaded file is looked at; standard input is not a name and is not asked about.
#pragma once

using InputPathFilter = bool (*)(const char* path);

// The filter of the current run; null (the default) lets every name through.
void setInputPathFilter(InputPathFilter filter);
bool inputPathAllowed(const char* path);
