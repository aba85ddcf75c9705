#include "util/DependencyHandler.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"

void DependencyHandler::addDependency(const char* fileName) {
  // A run reads few files: a linear search keeps their first-use order for free.
  if (std::find(files_.begin(), files_.end(), fileName) == files_.end())
    files_.emplace_back(fileName);
}

std::string makeWord(std::string_view text) {
  const bool quoted = text.find_first_of(" \t:#+=") != std::string_view::npos;
  std::string word;
  word.reserve(text.size() + 2);
  if (quoted) word += '"';
  for (char c : text) {
    word += c;
    if (c == '$') word += '$';
  }
  if (quoted) word += '"';
  return word;
}

namespace {

struct FileCloser {
  void operator()(FILE* stream) const { std::fclose(stream); }
};

// The writer of one run's dependency file.
class DependencyWriter {
 public:
  DependencyWriter(const char* fileName, FILE* stream, const char* target)
      : fileName_(fileName), stream_(stream), target_(makeWord(target ? target : "")) {}

  void writeDependencies(const std::string& name) {
    FILE* stream = stream_.get();
    if (!stream || std::ferror(stream)) return;
    const std::string word = makeWord(name);
    // Flushed per line, so that a full disk shows at the name that hit it.
    std::fprintf(stream, "%s : %s\n", target_.c_str(), word.c_str());
    std::fflush(stream);
    std::fprintf(stream, "%s :\n", word.c_str());
    std::fflush(stream);
    if (std::ferror(stream)) errorHandler()->reportWithoutLocation(F_write_error, fileName_);
  }

  void close() {
    if (stream_ && std::fclose(stream_.release()) != 0)
      errorHandler()->reportWithoutLocation(F_write_error, fileName_);
  }

 private:
  const char* fileName_;
  std::unique_ptr<FILE, FileCloser> stream_;
  std::string target_;
};

}  // namespace

void DependencyHandler::writeDependencyFile() {
  const RunSettings* settings = orbaOptions();
  const char* fileName = settings->depFile;
  if (!fileName || !*fileName) return;
  FILE* stream = std::fopen(fileName, "w");
  if (!stream) errorHandler()->reportWithoutLocation(F_cannot_open, fileName);
  DependencyWriter writer(fileName, stream, settings->makeTarget);
  for (const std::string& name : files_) writer.writeDependencies(name);
  writer.close();
}
