#include "util/DependencyHandler.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "util/ErrorHandler.h"
#include "util/OutputFile.h"
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

// The writer of one run's dependency file.
class DependencyWriter {
 public:
  DependencyWriter(const char* fileName, OutputFile& output, const char* target)
      : fileName_(fileName), output_(output), target_(makeWord(target ? target : "")) {}

  void writeDependencies(const std::string& name) {
    FILE* stream = output_.stream();
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
    if (output_.isOpen() && !output_.commit()) errorHandler()->reportWithoutLocation(F_write_error, fileName_);
  }

 private:
  const char* fileName_;
  OutputFile& output_;
  std::string target_;
};

}  // namespace

void DependencyHandler::writeDependencyFile() {
  const RunSettings* settings = orbaOptions();
  const char* fileName = settings->depFile;
  if (!fileName || !*fileName) return;
  OutputFile output(OutputRole::kDependency);
  if (!output.open(fileName, "w")) errorHandler()->reportWithoutLocation(F_cannot_open, fileName);
  DependencyWriter writer(fileName, output, settings->makeTarget);
  for (const std::string& name : files_) writer.writeDependencies(name);
  writer.close();
}
