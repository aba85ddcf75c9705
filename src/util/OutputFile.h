// The run's output files and the files it reads.
//
// A regular file, or a name that does not exist yet, is written to a temporary file
// in the target's directory and renamed over the target when complete, so that no
// reader ever sees half a file. Links are followed: to the file they lead to, or to
// the name at the end of a chain that leads to no file yet, where the file is made. A device or a pipe is written directly and is never
// removed. Only a regular file is ever removed, and only one this run made or was to
// replace.
//
// Every file the run reads is checked against the outputs by device and inode: an
// output that would land on a file the run reads is refused with a fatal error before
// anything is written over it. So is an output that would land on another output's
// file, which the later of the two would overwrite, also when the two meet only
// through links to a file not made yet.
#pragma once

#include <cstdio>

// One output of each role per run. The role decides what the exit-time clean-up does
// with the file when the run fails.
enum class OutputRole : int {
  kObject,        // removed after errors, a fatal error or a signal, also one of an earlier run
  kList,          // removed after a fatal error or a signal when this run made it
  kError,         // put in place also after a fatal error; the diagnostics are in it
  kDependency,    // kept once complete
  kPreprocessed,  // kept once complete
  kMetrics,       // kept once complete
  kObjectCopy,    // the object in a second form, written by a tool: removed as the object is
};

class OutputFile {
 public:
  explicit OutputFile(OutputRole role) : role_(role) {}
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Opens the output for writing with the fopen mode ("w", "wb", "w+b"). Null with errno
  // set when it cannot be made. Fatal (F007) when the path names a file the run reads.
  std::FILE* open(const char* path, const char* mode);
  std::FILE* stream() const { return stream_; }
  bool isOpen() const { return stream_ != nullptr; }
  // Flushes and closes the stream and puts the file in place. False when a write, the
  // close or the rename failed; the temporary file is then gone and the target untouched.
  bool commit();
  // Closes the stream and removes the temporary file; a device or pipe is only closed.
  void discard();

 private:
  OutputRole role_;
  std::FILE* stream_ = nullptr;
};

// Names an output before anything is written, so that a file the run reads is never
// overwritten and the object file of an earlier run can go when this run fails. Fatal
// (F007) when the path names a file already read, or the file of another output:
// `option` names the option that chose the path, for that message.
void claimOutputPath(OutputRole role, const char* path, const char* option);

// A file the run reads, by its open descriptor or by its name (a name that does not
// exist is skipped). Fatal (F007) when it is one of the outputs.
void guardInputFile(int descriptor);
void guardInputPath(const char* path);

// Forgets the outputs and the files read of an earlier run in the same process; the
// start-up calls it.
void resetOutputFiles();

// Exit-time clean-up. `failed` is a run with errors or a fatal error, `fatal` the
// latter. Runs once; later calls do nothing.
void finishOutputsAtExit(bool failed, bool fatal, bool keepOutputs);
// The same after a signal: only unlink and stat, which are safe inside a handler. The
// error file is not put in place: its stream cannot be flushed from here.
void removeOutputsOnSignal(bool keepOutputs);
