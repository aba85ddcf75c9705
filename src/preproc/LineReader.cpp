// The logical line reader of the macro preprocessor: one line of the top source,
// token by token, with defines replaced, comments cut, continuation lines joined,
// statements split and .COMMENT blocks read whole.
#include <cstdint>
#include <cstring>
#include <string>

#include "preproc/InputBuffer.h"
#include "preproc/MacroPreprocessor.h"
#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

bool isCtrlZ(char c) { return static_cast<uint8_t>(c) == InputBuffer::kCtrlZ; }

// Appends the bytes to the text; from a file, without its Ctrl-Z bytes.
void appendSourceText(std::string& text, const char* from, size_t length, bool fromFile) {
  if (!fromFile || !std::memchr(from, InputBuffer::kCtrlZ, length)) {
    text.append(from, length);
    return;
  }
  for (const char* byte = from; byte < from + length; ++byte)
    if (!isCtrlZ(*byte)) text.push_back(*byte);
}

}  // namespace

const char* MacroPreprocessor::replacedLineTooLongText() {
  static_assert(InputBuffer::kMaxLineLength == 4194304, "the text below names the bound");
  return "line longer than 4194304 characters after define replacement skipped";
}

void MacroPreprocessor::skipRestOfLine(InputBuffer& input) {
  // As the scanner's newline token: a lone carriage return ends the line too. A
  // continuation is not followed: what comes after it is a line of its own.
  InputBuffer::InputSource* source = input.top();
  const char* end = source->lineEnd;
  const char* newline = source->cursor;
  while (newline < end && *newline != '\0' && *newline != '\n' && *newline != '\r') ++newline;
  if (newline < end && *newline != '\0') {
    source->cursor = newline + (*newline == '\r' && newline + 1 < end && newline[1] == '\n' ? 2 : 1);
    input.countNewline(source);
  } else {
    source->cursor = newline;
  }
}

bool MacroPreprocessor::getLine(InputBuffer& input, std::string& text, LineRead& read) {
  bool got = getLineText(input, text, read);
  // The cut outweighs whatever else the remains of the line drew.
  if (input.takeOverlongLine())
    read.pendingDiagnostic = errorHandler()->formatMessage(E_error, InputBuffer::overlongLineText());
  return got;
}

bool MacroPreprocessor::getLineText(InputBuffer& input, std::string& text, LineRead& read) {
  read = LineRead();
  text.clear();
  InputBuffer::InputSource* source = input.top();
  if (!source) return false;
  ErrorHandler* errors = errorHandler();
  // A continuation line may move the line buffer: positions are kept as offsets.
  auto offsetOf = [&](const char* at) { return static_cast<size_t>(at - source->lineBuffer.begin); };
  auto at = [&](size_t offset) { return source->lineBuffer.begin + offset; };
  const bool fromFile = source->kind == InputBuffer::kFileSource;
  auto append = [&](size_t from, size_t to) {
    if (to > from) appendSourceText(text, at(from), to - from, fromFile);
  };
  auto setPending = [&](const char* diagnostic) {
    if (!read.pendingDiagnostic) read.pendingDiagnostic = diagnostic;
  };

  const size_t lineStart = offsetOf(source->cursor);
  read.startInBuffer = static_cast<uint32_t>(lineStart);
  // Most lines are plain: one scan copies them, and the source is left as the token
  // loop leaves it after the newline.
  int32_t blankRuns = source->blankRuns;
  if (const char* newline = plainLineEnd(source->cursor, blankRuns)) {
    text.assign(source->cursor, static_cast<size_t>(newline - source->cursor));
    text.push_back('\n');
    source->blankRuns = blankRuns;
    source->tokenStart = newline;
    source->tokenEnd = nullptr;
    source->cursor = newline + 1;
    input.countNewline(source);
    return true;
  }
  bool firstOfLine = true;       // nothing read yet: the end of the input ends here
  bool firstOfStatement = true;  // the directive rules of the first token apply
  bool substitution = true;
  bool afterDefine = false;      // the next token is the name a .DEFINE defines
  bool afterContinuation = false;
  size_t stringEnd = 0;          // the end of the double-quoted string being read

  // Each turn reads one token and moves the cursor; the terminating NUL ends it.
  for (;;) {
    const size_t textStart = offsetOf(source->cursor);  // with the blanks before the token
    int32_t code = nextToken(input);
    const size_t tokenStart = offsetOf(source->tokenStart);
    const size_t tokenEnd = offsetOf(source->cursor);
    bool nameForDefine = afterDefine;
    afterDefine = false;

    if (code == kMppEndOfText && source->tokenStart < source->lineEnd) {
      // A NUL byte inside the line is a character the line cannot hold.
      code = kMppControl;
    }
    if (code == kMppEndOfText) {
      // The cursor stays on the NUL, where the next reader finds the end again.
      if (firstOfLine) {
        source->cursor = at(tokenStart);
        return false;
      }
      source->cursor = at(tokenStart);
      if (!afterContinuation) setPending(errors->formatMessage(W_missing_final_newline));
      if (read.textBuilt) text.push_back('\n');
      break;
    }
    firstOfLine = false;
    afterContinuation = false;

    if (code == kMppControl) {
      setPending(errors->formatMessage(E_invalid_input_character,
                                       static_cast<unsigned char>(*at(tokenStart))));
      append(read.textBuilt ? textStart : lineStart, tokenStart);
      read.textBuilt = true;
      continue;
    }

    // The directive scanner knows only single-quoted strings; inside a double-quoted
    // one neither a comment prefix nor the statement separator counts (defines are
    // still replaced there).
    const bool inString = tokenStart < stringEnd;
    if (code == kMppCharacter && !inString && *at(tokenStart) == '"') {
      if (const char* end = quotedStringEnd(at(tokenStart))) stringEnd = offsetOf(end);
    }

    if ((code == kMppCharacter || (code == kMppHash && !firstOfStatement)) && !inString &&
        isCommentStart(input)) {
      // The rest of the line is a comment; a lone carriage return ends a line as
      // the scanner's newline token does.
      const char* end = source->lineEnd;
      const char* newline = source->cursor;
      while (newline < end && *newline != '\n' && *newline != '\r') ++newline;
      if (newline == end) newline = nullptr;
      if (newline) {
        source->cursor = newline + (*newline == '\r' && newline + 1 < end && newline[1] == '\n' ? 2 : 1);
        input.countNewline(source);
      } else {
        source->cursor = end;
        if (source->kind == InputBuffer::kFileSource)
          setPending(errors->formatMessage(W_missing_final_newline));
      }
      size_t stop = orbaOptions()->listFileWanted ? offsetOf(source->cursor) : tokenStart;
      size_t kept = read.textBuilt ? textStart : lineStart;
      if (std::memchr(at(kept), '\0', stop - kept)) {
        // A NUL byte inside the comment kept for the list file cannot stand in the
        // line's text. A comment's bytes are not checked, so it goes without a word:
        // asking for a list file must not turn a clean run into one with errors.
        for (size_t offset = kept; offset < stop; ++offset)
          if (*at(offset) != '\0' && !(fromFile && isCtrlZ(*at(offset)))) text.push_back(*at(offset));
      } else {
        append(kept, stop);
      }
      if (text.empty() || text.back() != '\n') text.push_back('\n');
      read.textBuilt = true;
      return true;
    }

    const char* separator = statementSeparator();
    if (code == kMppCharacter && separator && !inString && *at(tokenStart) == *separator) {
      append(read.textBuilt ? textStart : lineStart, tokenStart);
      text.push_back('\n');
      read.textBuilt = true;
      read.multiStatement = true;
      firstOfStatement = true;
      substitution = true;
      continue;
    }

    if (firstOfStatement) {
      firstOfStatement = false;
      switch (code) {
        case kMppHash:
        case kMppPmacro:
        case kMppUndef:
          substitution = false;
          break;
        case kMppDefine:
          afterDefine = true;
          break;
        case kMppComment:
          // The text before the directive, as far as it was put together already.
          readArgumentText(input, at(read.textBuilt ? textStart : lineStart), text, read);
          read.textBuilt = true;
          return true;
        default:
          break;
      }
    }

    if (code == kMppBackslash) {
      int32_t blanksBefore = source->blankRuns;
      int32_t next = peekToken(input);
      if (next == kMppNewline && source->blankRuns == blanksBefore) {
        append(read.textBuilt ? textStart : lineStart, tokenStart);
        read.textBuilt = true;
        nextToken(input);
        input.loadLine();
        afterContinuation = true;
        continue;
      }
      if (read.textBuilt) append(textStart, tokenEnd);
      continue;
    }

    if (isIdentifierClass(code) && substitution && !nameForDefine && mayBeDefined(*at(tokenStart))) {
      lookupName_.assign(at(tokenStart), tokenEnd - tokenStart);
      if (MppDefine* define = lookupDefine(lookupName_.c_str())) {
        append(read.textBuilt ? textStart : lineStart, tokenStart);
        read.textBuilt = true;
        if (define->value) {
          // Checked before the value is added: defines made of defines double at
          // each level, and the text must not grow far past the bound first.
          size_t length = std::strlen(define->value);
          if (text.size() + length > InputBuffer::kMaxLineLength) {
            skipRestOfLine(input);
            text.clear();
            text.push_back('\n');
            read.pendingDiagnostic = errors->formatMessage(E_error, replacedLineTooLongText());
            return true;
          }
          text.append(define->value, length);
        }
        continue;
      }
    }

    if (code == kMppNewline) {
      if (read.textBuilt) text.push_back('\n');
      break;
    }
    if (read.textBuilt) append(textStart, tokenEnd);
  }

  if (!read.textBuilt) {
    size_t end = offsetOf(source->cursor);
    while (end > lineStart && (*at(end - 1) == '\n' || *at(end - 1) == '\r')) --end;
    append(lineStart, end);
    text.push_back('\n');
  }
  return true;
}

void MacroPreprocessor::readArgumentText(InputBuffer& input, const char* lineStart,
                                         std::string& text, LineRead& read) {
  InputBuffer::InputSource* source = input.top();
  ErrorHandler* errors = errorHandler();
  InputBuffer::InputSource* file = input.innermostFileSource();
  const int32_t directiveLine = file ? file->line : 0;
  const bool fromFile = source->kind == InputBuffer::kFileSource;
  appendSourceText(text, lineStart, static_cast<size_t>(source->cursor - lineStart), fromFile);

  const char* cursor = source->cursor;
  while (isBlank(*cursor) || (fromFile && isCtrlZ(*cursor))) ++cursor;
  appendSourceText(text, source->cursor, static_cast<size_t>(cursor - source->cursor), fromFile);
  source->cursor = cursor;
  if (*cursor == '\n' || *cursor == '\r' || *cursor == '\0' || cursor >= source->lineEnd) {
    read.pendingDiagnostic = errors->formatMessage(E_missing_comment_delimiter, tokenName(kMppComment));
    // The line ends where it is; its newline is part of it.
    const char* end = source->lineEnd;
    const auto* newline = static_cast<const char*>(
        std::memchr(cursor, '\n', static_cast<size_t>(end > cursor ? end - cursor : 0)));
    if (newline) {
      source->cursor = newline + 1;
      input.countNewline(source);
    }
    text.push_back('\n');
    return;
  }
  const char delimiter = *cursor;
  text.push_back(delimiter);
  source->cursor = cursor + 1;

  // Reads the rest of the physical line at the cursor into the text; false when
  // the source has nothing left.
  auto takeRestOfLine = [&](bool& hasDelimiter) -> bool {
    const char* from = source->cursor;
    const char* end = source->lineEnd;
    if (source->kind == InputBuffer::kTextSource) end = from + std::strlen(from);
    if (from >= end) return false;
    const auto* newline =
        static_cast<const char*>(std::memchr(from, '\n', static_cast<size_t>(end - from)));
    const char* stop = newline ? newline + 1 : end;
    hasDelimiter = false;
    for (const char* byte = from; byte < stop; ++byte) {
      if (fromFile && isCtrlZ(*byte)) continue;
      if (*byte == delimiter) hasDelimiter = true;
      if (*byte != '\0') {
        text.push_back(*byte);
      } else if (!read.pendingDiagnostic) {
        read.pendingDiagnostic = errors->formatMessage(E_invalid_input_character, 0);
      }
    }
    source->cursor = stop;
    if (newline) input.countNewline(source);
    return true;
  };

  bool found = false;
  // The directive's own line counts from its start; later lines count whole.
  const char* bufferStart = source->lineBuffer.begin + read.startInBuffer;
  takeRestOfLine(found);
  read.consumedLength = static_cast<uint32_t>(source->cursor - bufferStart);
  // Each turn takes one more physical line; the end of the source ends it.
  while (!found) {
    if (source->kind == InputBuffer::kFileSource) {
      if (source->cursor == source->lineEnd) {
        if (source->fileExhausted()) break;
        source->loadLine();
      }
    }
    const char* before = source->cursor;
    if (!takeRestOfLine(found)) break;
    read.consumedLength += static_cast<uint32_t>(source->cursor - before);
  }
  if (!found) {
    read.pendingDiagnostic =
        errors->formatMessage(E_unterminated_comment_block, tokenName(kMppComment), directiveLine);
  }
  if (text.empty() || text.back() != '\n') text.push_back('\n');
}
