// Feeds arbitrary texts to the error handler: as pre-formatted diagnostics (the
// preprocessor's pending texts) and as %s arguments, at positions with and
// without line numbers, then prints everything kept.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "util/ErrorHandler.h"
#include "driver/OrbaOptions.h"
#include "util/OrbaState.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"
#include "preproc/LineState.h"
#include "util/StringBuffer.h"
#include "FuzzRun.h"

namespace {

void setUp() {
  char program[] = "vekt";
  char* argv[] = {program, nullptr};
  runState().stringBuffer = new StringBuffer();
  runState().lineState = new LineState();
  runState().lineState->addSourceFile("fuzz.asm");
  runState().orbaOptions = new OrbaOptions(1, argv);
}

// F and S texts end the process by design; the fuzzer keeps to the others.
bool endsTheProgram(const char* text) {
  uint32_t number = 0;
  bool numbered = text[0] != '\0';
  for (int digit = 1; numbered && digit <= 3; ++digit) {
    if (text[digit] < '0' || text[digit] > '9') numbered = false;
    else number = number * 10 + static_cast<uint32_t>(text[digit] - '0');
  }
  int32_t id = numbered ? messages::indexOfNumber(number) : 0;
  char severity = id ? messages::severity(id) : text[0];
  return severity == 'F' || severity == 'S';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  FuzzRun run;
  setUp();
  std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
  text = text.c_str();  // texts end at their first NUL
  if (endsTheProgram(text.c_str())) return 0;

  ControlState state;
  state.allWarningsOff = data[0] & 1;
  state.warningsAsErrors = data[0] & 2;
  if (data[0] & 4) state.suppressedWarnings.insert(W_message_warning);
  if (data[0] & 8) state.promotedWarnings.insert(W_message_warning);
  LineInfo positions[3];
  positions[0].lineNumber = data[1];
  positions[1].lineNumber = data[1];
  positions[2].lineNumber = 0xFFFFFFFFu;
  positions[1].sourceFile = 7;  // an index outside the file table prints no name
  for (LineInfo& position : positions) position.controlState = &state;

  ErrorHandler handler;
  handler.setErrorLimit(0);
  // Printed into memory: a fuzz target writes to no file or device of the machine.
  char* printed = nullptr;
  size_t printedSize = 0;
  std::FILE* sink = open_memstream(&printed, &printedSize);
  if (sink == nullptr) return 0;
  handler.reportText(text.c_str(), &positions[data[1] % 3]);
  handler.reportText(text.c_str(), &positions[data[1] % 3]);
  handler.report(W_message_warning, &positions[(data[1] + 1) % 3], text.c_str());
  handler.report(E_syntax_expected_error, &positions[0], text.c_str(), "x");
  handler.hasErrorAt(&positions[0]);
  handler.printRecorded(sink);
  std::fclose(sink);
  // The located error is always kept and printed, whatever the text.
  char errorTag[8];
  std::snprintf(errorTag, sizeof errorTag, "E%03u: ", messages::number(E_syntax_expected_error));
  bool printedError = std::string(printed, printedSize).find(errorTag) != std::string::npos;
  std::free(printed);
  if (!printedError) std::abort();
  return 0;
}
