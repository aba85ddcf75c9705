#include "util/OutputFile.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "util/c-memory.h"

namespace {

enum SlotState : int {
  kFree,       // no output of this role
  kClaimed,    // named, not being written: a regular file there belongs to an earlier run
  kWriting,    // a temporary file exists
  kDirect,     // a device, pipe or a link that cannot be followed, written in place
  kCommitted,  // this run put the file in place
};

struct FileIdentity {
  dev_t device;
  ino_t inode;
};

// The signal handler reads a slot only while the signals are blocked for every change
// of it, so that it never sees half an update.
struct OutputSlot {
  volatile std::sig_atomic_t state = kFree;
  char* given = nullptr;      // the name as given, for messages
  char* target = nullptr;     // the name the file is put in place under, links resolved
  char* temporary = nullptr;  // while writing
  bool known = false;         // whether `identity` is that of the file at `target`
  FileIdentity identity{};
  std::FILE* stream = nullptr;
  const char* option = nullptr;  // the option that named it; set by claimOutputPath
  std::string place;             // where it lands, for telling two outputs apart
};

constexpr int kRoleCount = static_cast<int>(OutputRole::kObjectCopy) + 1;

bool isObject(int role) {
  return role == static_cast<int>(OutputRole::kObject) || role == static_cast<int>(OutputRole::kObjectCopy);
}

// The run's outputs and the identities of the files it read.
struct OutputRegistry {
  OutputSlot slots[kRoleCount];
  std::vector<FileIdentity> readFiles;
  volatile std::sig_atomic_t refused = 0;  // an output named a file read: touch nothing
  bool finished = false;
};

OutputRegistry registry;

OutputSlot& slotOf(OutputRole role) { return registry.slots[static_cast<int>(role)]; }

// Holds off the signals that end the run while a slot changes.
class SignalBlock {
 public:
  SignalBlock() {
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGINT);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGHUP);
    sigprocmask(SIG_BLOCK, &blocked, &previous_);
  }
  ~SignalBlock() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  SignalBlock(const SignalBlock&) = delete;
  SignalBlock& operator=(const SignalBlock&) = delete;

 private:
  sigset_t previous_;
};

// A slot without its names could not put its file in place nor clean it up: no memory
// for one ends the run as out of memory.
char* copyText(const std::string& text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  if (!copy) mem_out_of_memory();
  std::memcpy(copy, text.c_str(), text.size() + 1);
  return copy;
}

void replaceText(char*& slotText, const std::string* text) {
  std::free(slotText);
  slotText = text ? copyText(*text) : nullptr;
}

bool sameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.device == b.device && a.inode == b.inode;
}

// Only a regular file goes; a link, device, pipe or directory stays.
void removeRegularFile(const char* path) {
  struct stat status;
  if (path && lstat(path, &status) == 0 && S_ISREG(status.st_mode)) unlink(path);
}

[[noreturn]] void refuseWith(const std::string& text) {
  registry.refused = 1;
  // The error file may be the very file read; the diagnostic goes to standard error.
  errorHandler()->abandonErrorFile();
  errorHandler()->reportWithoutLocation(F_message_fatal, text.c_str());
  std::abort();  // not reached: F messages end the run
}

[[noreturn]] void refuse(const char* output) {
  refuseWith(std::string("output file \"") + output + "\" is a file this run reads");
}

// The file a target lands on, links in its folder resolved: the identity of a file
// there tells two names of one file apart only once the file exists.
std::string placeOf(const std::string& target, bool exists) {
  if (exists) return target;
  const std::string& name = target;
  size_t slash = name.rfind('/');
  std::string folder = slash == std::string::npos ? "." : name.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  char* real = realpath(folder.c_str(), nullptr);
  std::string place = real ? std::string(real) + "/" + base : name;
  std::free(real);
  return place;
}

void checkAgainstOutputs(const FileIdentity& read) {
  for (const OutputSlot& slot : registry.slots)
    if (slot.state != kFree && slot.known && sameFile(slot.identity, read)) refuse(slot.given);
}

void noteReadFile(const struct stat& status) {
  // A device or pipe has no contents for an output to destroy.
  if (!S_ISREG(status.st_mode)) return;
  FileIdentity read{status.st_dev, status.st_ino};
  for (const FileIdentity& known : registry.readFiles)
    if (sameFile(known, read)) return;
  registry.readFiles.push_back(read);
  checkAgainstOutputs(read);
}

// As many links as the system follows in one name; a longer chain is a loop to it.
constexpr int kMaxLinksFollowed = 40;

bool readLinkText(const std::string& link, std::string& text) {
  std::vector<char> buffer(256);
  for (;;) {
    ssize_t length = readlink(link.c_str(), buffer.data(), buffer.size());
    if (length < 0) return false;
    if (static_cast<size_t>(length) < buffer.size()) {
      text.assign(buffer.data(), static_cast<size_t>(length));
      return !text.empty();
    }
    buffer.resize(buffer.size() * 2);
  }
}

// The name that a chain of links starting at `path` ends in when its last link leads
// to nothing yet: the file that writing through the chain makes. A link's text counts
// from the link's own folder. False when `path` is no such chain: not a link, a chain
// that reaches something after all, or one longer than the system follows (a loop),
// which opening then refuses.
bool danglingChainEnd(const char* path, std::string& end) {
  std::string name = path;
  for (int followed = 0; followed <= kMaxLinksFollowed; ++followed) {
    struct stat status;
    if (lstat(name.c_str(), &status) != 0) {
      if (errno != ENOENT || followed == 0) return false;
      end = name;
      return true;
    }
    if (!S_ISLNK(status.st_mode)) return false;
    std::string text;
    if (!readLinkText(name, text)) return false;
    size_t slash = name.rfind('/');
    name = text[0] == '/' || slash == std::string::npos ? text : name.substr(0, slash + 1) + text;
  }
  return false;
}

// Where the output goes: the file a link leads to, so that the link stays a link, and
// for a chain of links that leads nowhere yet, the name at its end, so that the file
// is made there. `direct` when the target is not a regular file, or a link that leads
// nowhere it could be written.
std::string resolveTarget(const char* path, bool& direct, struct stat& status, bool& exists) {
  direct = false;
  exists = stat(path, &status) == 0;
  if (exists) {
    if (!S_ISREG(status.st_mode)) {
      direct = true;
      return path;
    }
    char* real = realpath(path, nullptr);
    std::string resolved = real ? real : path;
    std::free(real);
    return resolved;
  }
  std::string end;
  if (danglingChainEnd(path, end)) return end;
  struct stat linkStatus;
  if (lstat(path, &linkStatus) == 0) direct = true;
  return path;
}

// Names the slot's output and records the identity of the file there now; refuses a
// file the run has read.
void nameSlot(OutputSlot& slot, const char* path, bool& direct, std::string& target) {
  struct stat status {};
  bool exists = false;
  target = resolveTarget(path, direct, status, exists);
  FileIdentity identity{status.st_dev, status.st_ino};
  bool readBefore = false;
  if (exists)
    for (const FileIdentity& read : registry.readFiles) readBefore = readBefore || sameFile(read, identity);
  std::string given = path;
  {
    SignalBlock block;
    replaceText(slot.given, &given);
    replaceText(slot.target, &target);
    slot.known = exists;
    if (exists) slot.identity = identity;
  }
  if (readBefore) refuse(path);
}

// The result of an open that failed: null for the caller's diagnostic, unless the
// system had no memory for the stream, which ends the run as out of memory.
std::FILE* openFailed() {
  if (errno == ENOMEM) mem_out_of_memory();
  return nullptr;
}

mode_t creationMode(const char* target) {
  struct stat status;
  if (stat(target, &status) == 0 && S_ISREG(status.st_mode)) return status.st_mode & 07777;
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

}  // namespace

OutputFile::~OutputFile() {
  if (stream_) discard();
}

std::FILE* OutputFile::open(const char* path, const char* mode) {
  if (stream_) discard();
  OutputSlot& slot = slotOf(role_);
  bool direct = false;
  std::string target;
  nameSlot(slot, path, direct, target);

  if (direct) {
    std::FILE* stream = std::fopen(path, mode);
    if (!stream) return openFailed();
    SignalBlock block;
    slot.stream = stream;
    slot.state = kDirect;
    stream_ = stream;
    return stream_;
  }

  std::string temporary = target + ".XXXXXX";
  SignalBlock block;
  std::FILE* stream = nullptr;
  // The slot's copy of the name is made before the file: a run that ran out of memory
  // between the two would leave a file that the clean-up does not know of.
  replaceText(slot.temporary, &temporary);
  int descriptor = mkstemp(slot.temporary);
  if (descriptor >= 0) {
    fchmod(descriptor, creationMode(target.c_str()));
    stream = fdopen(descriptor, mode);
    if (!stream) {
      int cause = errno;
      close(descriptor);
      unlink(slot.temporary);
      replaceText(slot.temporary, nullptr);
      errno = cause;
      return openFailed();
    }
  } else {
    // No room for a second file beside the target (a directory that is not writable,
    // a name at the length limit): the file is written in place and counts as the
    // temporary file until it is complete.
    replaceText(slot.temporary, &target);
    stream = std::fopen(target.c_str(), mode);
    if (!stream) {
      int cause = errno;
      replaceText(slot.temporary, nullptr);
      errno = cause;
      return openFailed();
    }
  }
  slot.stream = stream;
  slot.state = kWriting;
  stream_ = stream;
  return stream_;
}

bool OutputFile::commit() {
  if (!stream_) return false;
  OutputSlot& slot = slotOf(role_);
  bool written = std::fflush(stream_) == 0 && !std::ferror(stream_);
  written = std::fclose(stream_) == 0 && written;
  stream_ = nullptr;

  SignalBlock block;
  slot.stream = nullptr;
  if (slot.state == kWriting) {
    if (written) written = std::rename(slot.temporary, slot.target) == 0;
    if (!written) unlink(slot.temporary);
    replaceText(slot.temporary, nullptr);
    slot.state = written ? kCommitted : kClaimed;
    // Every file the run reads is open before its outputs are in place.
    slot.known = false;
  } else {
    slot.state = kClaimed;
  }
  return written;
}

void OutputFile::discard() {
  if (!stream_) return;
  OutputSlot& slot = slotOf(role_);
  std::fclose(stream_);
  stream_ = nullptr;
  SignalBlock block;
  slot.stream = nullptr;
  if (slot.state == kWriting) {
    unlink(slot.temporary);
    replaceText(slot.temporary, nullptr);
  }
  slot.state = kClaimed;
  // Nothing more goes there; opening it again checks the files read afresh.
  slot.known = false;
}

void claimOutputPath(OutputRole role, const char* path, const char* option) {
  if (!path || !*path) return;
  OutputSlot& slot = slotOf(role);
  bool direct = false;
  std::string target;
  nameSlot(slot, path, direct, target);
  {
    SignalBlock block;
    if (slot.state == kFree) slot.state = kClaimed;
  }
  slot.option = option;
  // A device or pipe takes what each output writes to it; only a file loses one of them.
  slot.place = direct ? std::string() : placeOf(target, slot.known);
  if (slot.place.empty()) return;
  for (const OutputSlot& other : registry.slots) {
    if (&other == &slot || other.state == kFree || !other.option || other.place.empty()) continue;
    bool same = slot.known && other.known ? sameFile(slot.identity, other.identity) : slot.place == other.place;
    if (same)
      refuseWith(std::string("output file \"") + path + "\" is named by both " + other.option + " and " + option);
  }
}

void guardInputFile(int descriptor) {
  struct stat status;
  if (fstat(descriptor, &status) == 0) noteReadFile(status);
}

void guardInputPath(const char* path) {
  struct stat status;
  if (path && stat(path, &status) == 0) noteReadFile(status);
}

void resetOutputFiles() {
  SignalBlock block;
  for (OutputSlot& slot : registry.slots) {
    slot.state = kFree;
    replaceText(slot.given, nullptr);
    replaceText(slot.target, nullptr);
    replaceText(slot.temporary, nullptr);
    slot.known = false;
    slot.stream = nullptr;
    slot.option = nullptr;
    slot.place.clear();
  }
  registry.readFiles.clear();
  registry.refused = 0;
  registry.finished = false;
}

void finishOutputsAtExit(bool failed, bool fatal, bool keepOutputs) {
  if (registry.finished) return;
  registry.finished = true;
  SignalBlock block;
  bool refused = registry.refused != 0;
  for (int role = 0; role < kRoleCount; ++role) {
    OutputSlot& slot = registry.slots[role];
    if (slot.state == kWriting) {
      // The diagnostics are complete once the run ends, whatever ended it.
      bool keep = role == static_cast<int>(OutputRole::kError) && !refused;
      bool written = keep && slot.stream && std::fflush(slot.stream) == 0 && !std::ferror(slot.stream);
      if (slot.stream) std::fclose(slot.stream);
      slot.stream = nullptr;
      if (!written || std::rename(slot.temporary, slot.target) != 0) unlink(slot.temporary);
      slot.state = written ? kCommitted : kClaimed;
    }
    if (refused || keepOutputs) continue;
    if (isObject(role) && failed && (slot.state == kClaimed || slot.state == kCommitted))
      removeRegularFile(slot.target);
    if (role == static_cast<int>(OutputRole::kList) && fatal && slot.state == kCommitted)
      removeRegularFile(slot.target);
  }
}

void removeOutputsOnSignal(bool keepOutputs) {
  bool refused = registry.refused != 0;
  for (int role = 0; role < kRoleCount; ++role) {
    OutputSlot& slot = registry.slots[role];
    std::sig_atomic_t state = slot.state;
    if (state == kWriting) unlink(slot.temporary);
    if (refused || keepOutputs) continue;
    if (isObject(role) && state != kFree && state != kDirect)
      removeRegularFile(slot.target);
    if (role == static_cast<int>(OutputRole::kList) && state == kCommitted) removeRegularFile(slot.target);
  }
}
