#include "preproc/OrbaPreprocessor.h"

#include <cstdlib>

#include "preproc/InputBuffer.h"
#include "preproc/LineState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/c-memory.h"

namespace {

// White space and printable characters of the C locale pass, and so does every
// byte from 0x80 up: sources carry UTF-8 in comments and strings.
bool isAcceptedCharacter(int c) {
  return (c >= ' ' && c <= '~') || (c >= '\t' && c <= '\r') || (c >= 0x80 && c <= 0xFF);
}

}  // namespace

OrbaPreprocessor::OrbaPreprocessor() : controlState_(orbaFactory()->createControlState()) {
  lineText_.size = 256;
  lineText_.begin = static_cast<char*>(xcalloc(lineText_.size, 1));
  lineText_.end = lineText_.begin;
}

OrbaPreprocessor::~OrbaPreprocessor() { std::free(lineText_.begin); }

void OrbaPreprocessor::openSource(const char* fileName) {
  InputBuffer input(&orbaOptions()->includeDirectories);
  // Line numbers start at 1, as in the macro preprocessor, so that a message names
  // the same line whichever preprocessor read it.
  if (!input.openFile(fileName, 1))
    errorHandler()->reportWithoutLocation(F_cannot_open, fileName);
  readLines(input);
}

void OrbaPreprocessor::readLines(InputBuffer& input) {
  LineState* lines = lineState();
  ErrorHandler* errors = errorHandler();
  buf_reset(&lineText_);
  const char* pendingDiagnostic = nullptr;
  uint32_t byteCount = 0;  // characters delivered in this call

  int32_t fileId = -1;
  int32_t lineNumber = 0;
  int32_t bias = 0;
  uint32_t startOffset = 0;
  auto currentFile = [&]() {
    return input.fileIdOverride != -1 ? input.fileIdOverride : input.top()->fileId;
  };
  // The position of a line is taken before its first character is read. The file
  // is noted first as well, so that an empty input still names it in its markers.
  auto takePosition = [&]() -> bool {
    if (input.top()) fileId = currentFile();
    if (!input.startLine()) return false;
    fileId = currentFile();
    InputBuffer::InputSource* file = input.innermostFileSource();
    lineNumber = file ? file->line : 0;
    bias = input.lineBias;
    startOffset = byteCount;
    return true;
  };
  auto finishLine = [&]() {
    LineInfo* line = lines->appendLine(buf_text(&lineText_), fileId, lineNumber, bias);
    line->flags[0] |= lineflag::kAssemble;
    line->controlState = controlState_.get();
    line->setSourceRange(startOffset, byteCount);
    if (input.takeOverlongLine())
      pendingDiagnostic = errors->formatMessage(E_error, InputBuffer::overlongLineText());
    if (pendingDiagnostic) errors->reportText(pendingDiagnostic, line);
    pendingDiagnostic = nullptr;
    buf_reset(&lineText_);
  };
  auto rejectCharacter = [&](int c) {
    if (!pendingDiagnostic)
      pendingDiagnostic = errors->formatMessage(E_invalid_input_character, c & 0xFF);
  };

  // Each turn consumes at least one character; the end of the input ends it.
  bool more = takePosition();
  while (more) {
    int c = input.readChar();
    if (c == 0) break;
    ++byteCount;
    if (c == '\\') {
      int next;
      do {
        next = input.readChar();
        if (next != 0) ++byteCount;
      } while (next == '\r');
      if (next == '\n') {
        // A continuation: the logical line goes on with the next physical one.
        buf_append_char(&lineText_, '\n');
        input.loadLine();
        continue;
      }
      buf_append_char(&lineText_, '\\');
      if (next == 0) break;
      // The character after the backslash is an ordinary one, tested like any.
      c = next;
    }
    if (c == '\n') {
      buf_append_char(&lineText_, '\n');
      finishLine();
      more = takePosition();
    } else if (c == '\r') {
      // Dropped: only a text source still delivers carriage returns.
    } else if (isAcceptedCharacter(c)) {
      buf_append_char(&lineText_, static_cast<char>(c));
    } else {
      rejectCharacter(c);
    }
  }
  if (lineText_.end != lineText_.begin || pendingDiagnostic) finishLine();

  LineInfo* start = lines->insertLine(lines->first(), nullptr, fileId, 0, 0);
  start->flags[3] |= lineflag::kStartOfFile;
  start->controlState = controlState_.get();
  LineInfo* end = lines->insertLineAfter(lines->last(), nullptr, fileId, 0, 0);
  end->flags[3] |= lineflag::kEndOfFile;
  end->controlState = controlState_.get();
}
