#include "output/FileNames.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include "util/RunState.h"
#include "util/c-memory.h"

namespace {

// The current directory, fetched at the first absolutePath that succeeds.
struct WorkingDirectory {
  char* currentDirectory = nullptr;
  ~WorkingDirectory() { std::free(currentDirectory); }
};
WorkingDirectory& workingDirectory() { return runPart<WorkingDirectory>(); }

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// Appends path to base ('\' read as '/') unless path starts with '/'.
size_t copyRoot(char* out, const char* base, const char* path) {
  size_t length = 0;
  if (isSeparator(path[0])) return 0;
  for (const char* c = base; *c; ++c) out[length++] = *c == '\\' ? '/' : *c;
  if (length > 0 && out[length - 1] != '/') out[length++] = '/';
  return length;
}

// Applies one "../" to the output: folds it into the last component or keeps it.
size_t applyParent(char* out, size_t length) {
  for (;;) {
    if (length == 0) break;
    // The output ends in '/'; the last component starts after the '/' before it.
    size_t start = length - 1;
    while (start > 0 && out[start - 1] != '/') --start;
    const char* component = out + start;
    size_t componentLength = length - start;
    if (component[0] == '/') {
      if (start == 0) break;  // the root: ".." cannot climb above it
      length = start;         // an empty component from "//"
      continue;
    }
    if (componentLength == 3 && std::memcmp(component, "../", 3) == 0) break;
    if (componentLength == 2 && std::memcmp(component, "./", 2) == 0) {
      length = start;
      continue;
    }
    return start;
  }
  std::memcpy(out + length, "../", 3);
  return length + 3;
}

}  // namespace

char* normalizePathInBuffer(const char* base, const char* path) {
  if (!base) base = "";
  if (!path) path = "";
  size_t baseLength = std::strlen(base);
  size_t pathLength = std::strlen(path);
  char* out = static_cast<char*>(std::malloc(baseLength + pathLength + 9));
  // The path as written in place of its form would name another file.
  if (!out) mem_out_of_memory();
  size_t length = copyRoot(out, base, path);

  const char* component = path;
  for (const char* c = path; *c; ++c) {
    if (!isSeparator(*c)) continue;
    size_t componentLength = static_cast<size_t>(c - component) + 1;
    if (componentLength == 2 && component[0] == '.') {
      // "./" adds nothing
    } else if (componentLength == 3 && component[0] == '.' && component[1] == '.') {
      length = applyParent(out, length);
    } else {
      std::memcpy(out + length, component, componentLength - 1);
      length += componentLength - 1;
      out[length++] = '/';
    }
    component = c + 1;
  }
  // The final name, also "." or "..", is kept as written.
  size_t rest = std::strlen(component);
  std::memcpy(out + length, component, rest);
  out[length + rest] = '\0';
  return out;
}

char* absolutePath(const char* path) {
  if (!workingDirectory().currentDirectory) {
    for (size_t size = 128; size <= 2048 && !workingDirectory().currentDirectory; size *= 2) {
      char* buffer = static_cast<char*>(std::malloc(size));
      if (!buffer) mem_out_of_memory();
      if (getcwd(buffer, size)) {
        workingDirectory().currentDirectory = buffer;
      } else {
        std::free(buffer);
        if (errno != ERANGE) return nullptr;
      }
    }
    if (!workingDirectory().currentDirectory) return nullptr;
  }
  return normalizePathInBuffer(workingDirectory().currentDirectory, path);
}

namespace {

// The absolute form of the path and the position of its last separator (npos
// when none). Without an absolute form the path is split as written.
std::string splitAbsolute(const char* path, size_t& lastSeparator) {
  if (!path) path = "";
  std::string absolute;
  if (char* formed = absolutePath(path)) {
    absolute = formed;
    std::free(formed);
  } else {
    absolute = path;
  }
  lastSeparator = absolute.find_last_of("/\\");
  return absolute;
}

}  // namespace

namespace {
// The results of the three functions below; each lives until the function's next call.
struct PathPieces {
  std::string baseName;
  std::string dirName;
  std::string dirAsWritten;
};
}  // namespace

const std::string& pathBaseName(const char* path) {
  std::string& baseName = runPart<PathPieces>().baseName;
  baseName.clear();
  size_t separator;
  std::string absolute = splitAbsolute(path, separator);
  if (separator == std::string::npos) {
    baseName = absolute;
  } else {
    baseName.assign(absolute, separator + 1, std::string::npos);
  }
  return baseName;
}

const std::string& pathDirName(const char* path) {
  std::string& dirName = runPart<PathPieces>().dirName;
  dirName.clear();
  size_t separator;
  std::string absolute = splitAbsolute(path, separator);
  if (separator != std::string::npos && separator > 0) dirName.assign(absolute, 0, separator);
  return dirName;
}

const std::string& pathDirAsWritten(const char* path) {
  std::string& dirName = runPart<PathPieces>().dirAsWritten;
  dirName.clear();
  if (!path) return dirName;
  size_t length = std::strlen(path);
  while (length > 0 && !isSeparator(path[length - 1])) --length;
  if (length == 0) return dirName;
  // Keep a lone root separator; drop the one that ends a directory name.
  dirName.assign(path, length > 1 ? length - 1 : length);
  return dirName;
}

namespace {

// Non-blocking, so that naming a FIFO does not hang the assembler.
bool isReadableRegularFile(const char* name) {
  int descriptor = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return false;
  struct stat status;
  bool regular = fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode);
  close(descriptor);
  return regular;
}

}  // namespace

bool findRegularFile(const char* name, const char* suffix, std::string& path) {
  if (!name || !*name) return false;
  path = name;
  if (isReadableRegularFile(path.c_str())) return true;
  // A directory opens on this host, so a non-regular name also falls through to
  // the suffix, as a failed open does.
  if (!suffix || !*suffix) return false;
  path += suffix;
  return isReadableRegularFile(path.c_str());
}

bool searchIncludePath(const char* name, const std::vector<const char*>& directories, std::string& path) {
  for (const char* directory : directories) {
    if (!directory) continue;
    char* joined = normalizePathInBuffer(directory, name);
    if (!joined) continue;
    char* candidate = absolutePath(joined);
    std::free(joined);
    if (!candidate) continue;
    std::string found;
    bool accepted = findRegularFile(candidate, "", found);
    std::free(candidate);
    if (accepted) {
      path = found;
      return true;
    }
  }
  return false;
}
