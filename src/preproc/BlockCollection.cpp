// Reading the body of a macro or repeat block: its lines are recorded (so that the
// list file and the line numbers still show them) and stored in the construct, not
// dispatched; nested blocks are only counted, up to the .ENDM that closes the block.
#include <cstring>
#include <string>

#include "preproc/InputBuffer.h"
#include "preproc/LineState.h"
#include "preproc/MacroPreprocessor.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"

namespace {

bool isBlockOpener(int32_t code) {
  return code == kMppDup || code == kMppDupa || code == kMppDupc || code == kMppDupf ||
         code == kMppMacro;
}

}  // namespace

bool MacroPreprocessor::isMatchingBlockEnd(int32_t opener, int32_t closer) {
  return isBlockOpener(opener) && closer == kMppEndm;
}

void MacroPreprocessor::collectBlockBody(InputBuffer& input, LineInfo* line, int32_t endCode) {
  ErrorHandler* errors = errorHandler();
  LineInfo* current = line;
  uint32_t count = 0;
  std::string text;
  // Each turn reads a line or retires a source; the end of the input closes the
  // block, so the loop ends.
  while (definitionDepth > 0) {
    InputBuffer::InputSource* top = input.top();
    if (top && top->kind == InputBuffer::kFileSource && top->cursor == top->lineEnd)
      top->loadLine();
    LinePosition position = takeLinePosition(input);
    LineRead read;
    if (!getLine(input, text, read)) {
      if (read.pendingDiagnostic) errors->reportText(read.pendingDiagnostic, current);
      // The line loop marks the end of the bottom file itself.
      top = input.top();
      if (top && top->outer && hasStartMarker(*top)) {
        LineInfo* marker = appendLine(nullptr, position);
        marker->flags[3] |= lineflag::kEndOfFile;
      }
      // The body goes on in the source below; only at the end of the input it stops.
      if (input.popSource()) continue;
      std::string closing = std::string("\t") + tokenName(endCode) + "\n";
      while (definitionDepth > 0) {
        processBlockLine(input, current, closing.data(), closing.size(), endCode);
        ++count;
      }
      errors->report(E_missing_end, current, tokenName(endCode));
      break;
    }

    uint32_t consumed = consumedBytes(input, read);
    top = input.top();
    if (!inExpansion && top && top->kind == InputBuffer::kFileSource)
      top->lineOffset += static_cast<int32_t>(consumed);
    current = appendLine(text.c_str(), position);
    current->flags[0] |= lineflag::kMacroDefinition;
    if (!inExpansion && position.startOffset >= 0) {
      current->setSourceRange(static_cast<uint32_t>(position.startOffset),
                              static_cast<uint32_t>(position.startOffset) + consumed);
    }
    if (read.pendingDiagnostic) errors->reportText(read.pendingDiagnostic, current);

    if (!read.multiStatement) {
      processBlockLine(input, current, text.data(), text.size(), endCode);
    } else {
      // A collected line keeps its statements; each is stored as a line of the body.
      current->flags[3] |= lineflag::kSplit;
      const char* statement = current->text ? current->text : "";
      while (const char* newline = std::strchr(statement, '\n')) {
        processBlockLine(input, current, statement, static_cast<size_t>(newline + 1 - statement),
                         endCode);
        statement = newline + 1;
      }
    }
    ++count;
  }
  if (!pendingConstruct) return;
  pendingConstruct->lineCount = count;
  // A repeat block stays pending for its first iteration.
  if (pendingConstruct->kind() == kMppMacroKind) pendingConstruct = nullptr;
}

void MacroPreprocessor::processBlockLine(InputBuffer& input, LineInfo* line, const char* text,
                                         size_t length, int32_t endCode) {
  input.pushText(text, length);
  // The closing line is stored as well: each expansion ends at it.
  if (pendingConstruct) pendingConstruct->appendBodyLine(text, length);

  int32_t token = nextToken(input);
  const char* label = nullptr;
  if (isIdentifierClass(token)) {
    const char* name = input.tokenText();
    if (input.blankRuns() == 0) {
      // In the first column a plain identifier is a label, and so is any name with
      // a colon.
      bool isLabel = token == kMppIdentifier;
      token = nextToken(input);
      if (token == kMppColon) {
        isLabel = true;
        token = nextToken(input);
      }
      if (isLabel) label = name;
    } else if (peekToken(input) == kMppColon) {
      label = name;
      nextToken(input);
      token = nextToken(input);
    }
  }
  // Every label of a macro body is local to each expansion.
  if (label && pendingConstruct && pendingConstruct->kind() == kMppMacroKind)
    pendingConstruct->localNames.insert(label);

  if (isBlockOpener(token)) {
    ++definitionDepth;
    blockStack.push_back(token);
  } else if (token == kMppEndm) {
    --definitionDepth;
    if (definitionDepth > 0 && !blockStack.empty()) {
      int32_t opener = blockStack.back();
      blockStack.pop_back();
      if (!isMatchingBlockEnd(opener, token))
        errorHandler()->report(E_mpp_unterminated_macro, line, tokenName(opener), tokenName(token));
    } else if (definitionDepth == 0 && token != endCode) {
      errorHandler()->report(E_mpp_unterminated_macro, line, tokenName(endCode), tokenName(token));
    }
  }
  if (!input.popSource()) {
    // The input ended inside the block, and this closing text is all that is left:
    // it is used up, so that the line loop does not read it again.
    InputBuffer::InputSource* top = input.top();
    top->cursor = top->lineEnd;
    top->previousChar = '\n';
  }
}
