// Path normalisation over arbitrary base and path texts (paths come from source
// directives and the command line).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "output/FileNames.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t split = input.find('\n');
  std::string base = split == std::string::npos ? std::string() : input.substr(0, split);
  std::string path = split == std::string::npos ? input : input.substr(split + 1);
  base = base.c_str();  // the functions take NUL-terminated texts
  path = path.c_str();

  char* joined = normalizePathInBuffer(base.c_str(), path.c_str());
  if (!joined) abort();
  size_t length = std::strlen(joined);
  if (length > base.size() + path.size() + 8) abort();
  if (std::strchr(joined, '\\')) abort();
  // No "./" component survives before the final name.
  for (const char* c = std::strstr(joined, "./"); c; c = std::strstr(c + 1, "./")) {
    bool startsComponent = c == joined || c[-1] == '/';
    bool inBase = static_cast<size_t>(c - joined) < base.size();
    if (startsComponent && !inBase) abort();
  }
  // Normalising a result again keeps it unless "../" or "//" pieces remain.
  if (joined[0] == '/' && !std::strstr(joined, "..") && !std::strstr(joined, "//") &&
      !std::strstr(joined, "/./")) {
    char* again = normalizePathInBuffer("", joined);
    if (!again || std::strcmp(again, joined) != 0) abort();
    std::free(again);
  }
  std::free(joined);

  // The two parts put together give the absolute form back.
  std::string baseName = pathBaseName(path.c_str());
  std::string dirName = pathDirName(path.c_str());
  if (baseName.find('/') != std::string::npos) abort();
  if (char* absolute = absolutePath(path.c_str())) {
    std::string whole = absolute;
    std::free(absolute);
    if (whole != dirName + "/" + baseName && !(dirName.empty() && whole == "/" + baseName)) abort();
  }
  return 0;
}
