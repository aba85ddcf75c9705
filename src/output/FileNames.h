// Path helpers: absolute and normalised paths, the file-name and directory parts
// of a path, and the test whether a name is a readable regular file. Both '/' and
// '\' separate components in input paths; results use '/'.
#pragma once

#include <string>
#include <vector>

// The path joined to base and normalised: "./" dropped, "../" folded into the
// component before it, '\' turned into '/'. A path starting with '/' stands
// alone. Returns a malloc'ed text the caller frees; no memory for it ends the run
// as out of memory (F005).
char* normalizePathInBuffer(const char* base, const char* path);
// The path made absolute against the current directory (fetched once) and
// normalised; malloc'ed, or null when the current directory is unavailable.
char* absolutePath(const char* path);

// The part of the path's absolute form after its last separator. The returned
// text is overwritten by the next call.
const std::string& pathBaseName(const char* path);
// The part of the path's absolute form before its last separator; empty when
// that separator is the first character. Overwritten by the next call.
const std::string& pathDirName(const char* path);

// The part of the path as written before its last separator ("/" for a file in the
// root, empty for a bare name). Includes are looked for there, so that the names
// they are opened under stay relative when the source was named relatively, as
// make rules want them. Overwritten by the next call.
const std::string& pathDirAsWritten(const char* path);

// The first directory of the list (nulls skipped) in which the name, joined to the
// directory and made absolute, is a readable regular file; path is set to that
// file. False when no directory holds it.
bool searchIncludePath(const char* name, const std::vector<const char*>& directories, std::string& path);

// Tries the name, then the name with the suffix appended (when the suffix is not
// empty); true when the file opened for reading is a regular file. path holds
// the last name tried.
bool findRegularFile(const char* name, const char* suffix, std::string& path);
