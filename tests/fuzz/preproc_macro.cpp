// The macro preprocessor over arbitrary source text, as --preprocess runs it. The
// first byte picks settings (bit 0: names without case, bit 1: comments kept as for
// a list file, bit 2: -D D=1); the rest is the source file. Beside it lies an
// include file "a.inc", and only files in that folder are read. A fatal message (an
// include that is not there, nesting too deep) ends the input instead of the process,
// and so does a run past 5000 lines, 500 messages or a line of 64 KiB. The line list
// is checked for what every run must give.
#include <unistd.h>

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "driver/OrbaOptions.h"
#include "flow/SymbolTable.h"
#include "output/FileNames.h"
#include "preproc/InputBuffer.h"
#include "preproc/LineState.h"
#include "preproc/MacroPreprocessor.h"
#include "util/DependencyHandler.h"
#include "util/ErrorHandler.h"
#include "util/InputGate.h"
#include "util/LineInfo.h"
#include "util/MessageCatalog.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/StringBuffer.h"
#include "FuzzRun.h"
#include "ScratchFolder.h"
#include "StoppingRun.h"
#include "ScratchFolder.h"

namespace {

// A macro whose argument appears twice in its body and which calls itself with
// that argument doubles its text at every level; past a bound for one line the
// input ends too.
class BoundedPreprocessor : public MacroPreprocessor {
 public:
  static constexpr size_t kMaxLineLength = 65536;
  bool getLine(InputBuffer& input, std::string& text, LineRead& read) override {
    bool got = MacroPreprocessor::getLine(input, text, read);
    if (text.size() > kMaxLineLength) throw FatalStop();
    return got;
  }
};

std::string sourcePath;

void setUpOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  sourcePath = scratch::path("macro", "t.asm");
  FILE* include = std::fopen(scratch::path("macro", "a.inc").c_str(), "wb");
  std::fputs("X .EQU 1\n .IF X\n .DEFINE INC \"2\"\n .ENDIF\n", include);
  std::fclose(include);
}

void setUp(OrbaFactory& factory) {
  char program[] = "vekt";
  char* argv[] = {program, nullptr};
  runState().orbaOptions = new OrbaOptions(1, argv);
  runState().stringBuffer = new StringBuffer();
  runState().dependencyHandler = new DependencyHandler();
  runState().orbaFactory = &factory;
  InputBuffer::installPathOperations(normalizePathInBuffer, pathDirName);
  // An .INCLUDE may name any file: only those beside the source are read.
  setInputPathFilter(scratch::inside);
}

void check(bool holds) {
  if (!holds) __builtin_trap();
}

void writeSource(const std::string& bytes) {
  FILE* file = std::fopen(sourcePath.c_str(), "wb");
  check(file != nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

// What every line list must be: linked both ways, markers without text and paired
// as the list file pairs them (all of them once the run finished), every text
// ending in a newline and free of the Ctrl-Z bytes a file may hold, nothing both
// skipped and assembled.
void checkLines(bool finished) {
  LineInfo* previous = nullptr;
  int64_t openFiles = 0;
  for (LineInfo* line = lineState()->first(); line; line = line->next) {
    check(line->previous == previous);
    bool marker = line->flags[3] & (lineflag::kStartOfFile | lineflag::kEndOfFile);
    if (marker) check(line->text == nullptr);
    if (line->flags[3] & lineflag::kStartOfFile) ++openFiles;
    if (line->flags[3] & lineflag::kEndOfFile) check(--openFiles >= 0);
    if (line->text) {
      size_t length = std::strlen(line->text);
      check(length > 0 && line->text[length - 1] == '\n');
      check(std::memchr(line->text, 0x1A, length) == nullptr);
    }
    if (line->flags[0] & lineflag::kInactiveRegion) check(!(line->flags[0] & lineflag::kAssemble));
    check(line->controlState != nullptr);
    previous = line;
  }
  check(lineState()->last() == previous);
  if (finished) check(openFiles == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setUpOnce();
  if (size < 1) return 0;
  // Each input has a run of its own: its own settings, lines, symbols and diagnostics.
  FuzzRun run;
  OrbaFactory factory;
  setUp(factory);
  runState().orbaOptions->caseSensitive = !(data[0] & 1);
  runState().orbaOptions->listFileWanted = (data[0] & 2) != 0;
  if (data[0] & 4) runState().orbaOptions->defines.push_back("D=1");
  writeSource(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));

  runState().lineState = new BoundedLineState(5000);
  runState().errorHandler = new StoppingErrorHandler();
  runState().errorHandler->setErrorLimit(0);
  runState().symbolTable = new SymbolTable();
  bool finished = false;
  {
    BoundedPreprocessor preprocessor;
    try {
      preprocessor.openSource(sourcePath.c_str());
      finished = true;
    } catch (const FatalStop&) {
    }
    if (finished) check(preprocessor.released);
  }
  checkLines(finished);
  return 0;
}
