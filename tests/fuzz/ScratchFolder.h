// A folder of the target's own for the files an input needs, made once per process
// and removed at its exit, and the filter that keeps a run's reading inside it: an
// input may name any file (an include, an option file, a loaded file), and a target
// opens no file it did not make.
#pragma once

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace scratch {

inline std::string& folderName() {
  static std::string name;
  return name;
}

inline void removeFolder() { std::filesystem::remove_all(folderName()); }

// The folder's path, without a trailing slash, resolved through any link.
inline const std::string& folder(const char* target) {
  std::string& name = folderName();
  if (name.empty()) {
    std::string made = std::string("/tmp/vekt_fuzz_") + target + "_" + std::to_string(::getpid());
    std::filesystem::create_directories(made);
    char resolved[PATH_MAX];
    name = ::realpath(made.c_str(), resolved) ? resolved : made;
    std::atexit(removeFolder);
  }
  return name;
}

inline std::string path(const char* target, const char* file) { return folder(target) + "/" + file; }

// Writes a file of the folder whole; false when any step fails.
inline bool writeFile(const std::string& name, const void* data, size_t size) {
  std::FILE* stream = std::fopen(name.c_str(), "wb");
  if (!stream) return false;
  const bool written = std::fwrite(data, 1, size, stream) == size;
  return std::fclose(stream) == 0 && written;
}

// Whether a name the run is about to read lies inside the folder; a name that does not
// resolve to an existing file is let through (opening it finds nothing there either).
inline bool inside(const char* path) {
  char resolved[PATH_MAX];
  if (!::realpath(path, resolved)) return ::access(path, F_OK) != 0;
  const std::string& base = folderName();
  return !base.empty() && std::strncmp(resolved, base.c_str(), base.size()) == 0 && resolved[base.size()] == '/';
}

}  // namespace scratch
