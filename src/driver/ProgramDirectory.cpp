#include "driver/ProgramDirectory.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "output/FileNames.h"
#include "util/RunState.h"

namespace {

// The directory found by the last search, ending in '/'; empty before the first.
struct ProgramDirectoryState {
  std::string programDirectory{};
  bool programDirectoryKnown = false;
};
ProgramDirectoryState& programDirectoryState() { return runPart<ProgramDirectoryState>(); }

std::string directoryPart(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The running executable as the system knows it; empty when it cannot tell.
std::string executablePath() {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return std::string();
  return std::string(buffer, static_cast<size_t>(length));
}

bool isRegularFile(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

// The directory in which a PATH search finds the program: the current directory
// first, then the elements of PATH in order; the current directory when none has it.
std::string searchPath(const char* name) {
  if (isRegularFile(name)) return std::string();
  const char* path = std::getenv("PATH");
  if (!path) return std::string();
  const char* element = path;
  while (true) {
    const char* end = std::strchr(element, ':');
    if (!end) end = element + std::strlen(element);
    std::string directory;
    for (const char* c = element; c < end; ++c)
      if (*c != '"') directory += *c;
    if (!directory.empty() && directory.back() != '/') directory += '/';
    if (isRegularFile(directory + name)) return directory;
    if (!*end) break;
    element = end + 1;
  }
  return std::string();
}

}  // namespace

char* findProgramDirectory(const char* path, const char* name, const char* suffix) {
  const char* looked = (path && *path) ? path : name;
  if (looked) {
    programDirectoryState().programDirectoryKnown = true;
    std::string executable = executablePath();
    if (!executable.empty())
      programDirectoryState().programDirectory = directoryPart(executable);
    else if (std::strchr(looked, '/'))
      programDirectoryState().programDirectory = directoryPart(looked);
    else
      programDirectoryState().programDirectory = searchPath(looked);
  }
  if (!programDirectoryState().programDirectoryKnown) return nullptr;
  if (!suffix) return const_cast<char*>(programDirectoryState().programDirectory.c_str());
  return programDirectoryJoin(suffix);
}

char* programDirectoryJoin(const char* suffix) {
  if (!suffix) return const_cast<char*>(programDirectoryState().programDirectory.c_str());
  return normalizePathInBuffer(programDirectoryState().programDirectory.c_str(), suffix);
}

void replaceExtension(std::string& name, const char* extension) {
  size_t slash = name.find_last_of('/');
  size_t dot = name.rfind('.');
  // A dot in a directory name is not an extension.
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.resize(dot);
  name += extension;
}
