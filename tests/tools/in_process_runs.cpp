// Test driver, not a product feature: assembles several command lines one after another
// in this one process, as separate runs of the program would, so that a test can hold
// the outputs of each against those of a program run of its own.
//
//   vekt-in-process PROGRAM RUNDIR KEEPDIR ARGS [KEEPDIR ARGS]...
//
// Each run works in RUNDIR (made when missing), with PROGRAM as the program name and
// ARGS split at blanks as its words; outputs that name the working directory thus
// match those of a program run there. Standard output and standard error go to
// RUNDIR/stdout and RUNDIR/stderr, the exit status to RUNDIR/status; then everything in
// RUNDIR moves to KEEPDIR (made when missing). A run must not end the process (no
// fatal diagnostic).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "driver/OrbaAssembler.h"
#include "util/OrbaFactory.h"

namespace {

// Points the descriptor at the file until the object goes; flushes the stream first.
class Redirect {
 public:
  Redirect(FILE* stream, const std::string& path) : stream_(stream), fd_(fileno(stream)) {
    std::fflush(stream_);
    saved_ = dup(fd_);
    int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (saved_ < 0 || file < 0 || dup2(file, fd_) < 0) {
      std::perror(path.c_str());
      _exit(2);
    }
    close(file);
  }
  ~Redirect() {
    std::fflush(stream_);
    dup2(saved_, fd_);
    close(saved_);
  }
  Redirect(const Redirect&) = delete;
  Redirect& operator=(const Redirect&) = delete;

 private:
  FILE* stream_;
  int fd_;
  int saved_;
};

void fail(const std::string& what) {
  std::perror(what.c_str());
  _exit(2);
}

void moveEntries(const std::string& from, const std::string& to) {
  mkdir(to.c_str(), 0755);
  DIR* dir = opendir(from.c_str());
  if (!dir) fail(from);
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  for (const std::string& name : names)
    if (std::rename((from + "/" + name).c_str(), (to + "/" + name).c_str()) != 0) fail(name);
}

int runOnce(const char* program, const std::string& dir, const std::string& words) {
  mkdir(dir.c_str(), 0755);
  if (chdir(dir.c_str()) != 0) fail(dir);
  std::vector<std::string> texts{program};
  std::istringstream split(words);
  for (std::string word; split >> word;) texts.push_back(word);
  std::vector<char*> argv;
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);

  int status;
  {
    Redirect out(stdout, "stdout");
    Redirect err(stderr, "stderr");
    TriCoreFactory factory;
    TriCoreAssembler assembler(static_cast<int>(texts.size()), argv.data(), &factory);
    status = assembler.run();
  }
  FILE* file = std::fopen("status", "w");
  if (!file || std::fprintf(file, "%d\n", status) < 0 || std::fclose(file) != 0) _exit(2);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || (argc - 3) % 2 != 0) {
    std::fprintf(stderr, "usage: %s PROGRAM RUNDIR KEEPDIR ARGS [KEEPDIR ARGS]...\n", argv[0]);
    return 2;
  }
  char start[4096];
  if (!getcwd(start, sizeof start)) return 2;
  for (int i = 3; i + 1 < argc; i += 2) {
    if (chdir(start) != 0) return 2;
    runOnce(argv[1], argv[2], argv[i + 1]);
    if (chdir(start) != 0) return 2;
    moveEntries(argv[2], argv[i]);
  }
  return 0;
}
