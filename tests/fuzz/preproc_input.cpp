// Source input over arbitrary bytes. The first byte picks what reads the rest:
// 0 the directive scanner over the bytes as a text, 1 the character reader over
// them as a file, 2 the plain preprocessor over that file. Each checks what it
// produced against what the bytes allow.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/OrbaOptions.h"
#include "preproc/InputBuffer.h"
#include "preproc/LineState.h"
#include "preproc/MacroPreprocessor.h"
#include "preproc/MppToken.h"
#include "util/DependencyHandler.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/StringBuffer.h"
#include "FuzzRun.h"

namespace {

std::string sourcePath;

void removeSource() { std::remove(sourcePath.c_str()); }

void setUpOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  sourcePath = "/tmp/vekt_fuzz_preproc_" + std::to_string(::getpid()) + ".asm";
  std::atexit(removeSource);
}

void setUp(OrbaFactory& factory) {
  char program[] = "vekt";
  char* argv[] = {program, nullptr};
  runState().orbaOptions = new OrbaOptions(1, argv);
  runState().stringBuffer = new StringBuffer();
  runState().dependencyHandler = new DependencyHandler();
  runState().orbaFactory = &factory;
}

void check(bool holds) {
  if (!holds) __builtin_trap();
}

bool isKnownCode(int32_t code) {
  return (code >= kMppCharacter && code <= kMppReserved) || code == kMppString ||
         code == kMppColon || code == kMppHash || code == kMppComma ||
         code == kMppBackslash || code == kMppNewline || code == kMppControl ||
         (code >= kMppComment && code <= kMppUndef &&
          std::strcmp(MacroPreprocessor::tokenName(code), "**UNKNOWN**") != 0);
}

void scanText(const std::string& text) {
  InputBuffer input(nullptr);
  input.pushText(text.data(), text.size());
  const char* begin = input.lineBufferStart();
  const char* end = begin + std::strlen(begin);
  for (size_t tokens = 0;; ++tokens) {
    check(tokens <= text.size());
    const char* before = input.cursor();
    bool peekFirst = tokens % 3 == 0;
    int32_t peeked = peekFirst ? MacroPreprocessor::peekToken(input) : 0;
    check(input.cursor() == before);
    int32_t code = MacroPreprocessor::nextToken(input);
    if (peekFirst) check(peeked == code);
    const char* cursor = input.cursor();
    const InputBuffer::InputSource* source = input.top();
    if (code == kMppEndOfText) {
      check(cursor == end + 1);
      return;
    }
    check(isKnownCode(code));
    check(cursor > before && cursor <= end);
    check(source->tokenStart >= before && source->tokenStart < cursor);
    if (code == kMppString) {
      check(source->tokenEnd != nullptr && source->tokenEnd + 1 == cursor);
      check(source->tokenStart <= source->tokenEnd && source->tokenStart[-1] == '\'');
    } else {
      check(source->tokenEnd == nullptr);
    }
    check(input.tokenText() != nullptr);
  }
}

void writeSource(const std::string& bytes) {
  FILE* file = std::fopen(sourcePath.c_str(), "wb");
  check(file != nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

// What the character reader must deliver: the bytes without carriage returns and
// Ctrl-Z, a NUL as kNulByte, and a newline at the end when the last is none.
std::string expectedCharacters(const std::string& bytes) {
  std::string expected;
  for (char c : bytes)
    if (c != '\r' && c != '\x1a') expected += c;
  if (!expected.empty() && expected.back() != '\n') expected += '\n';
  return expected;
}

void readFile(const std::string& bytes) {
  writeSource(bytes);
  InputBuffer input(nullptr);
  check(input.openFile(sourcePath.c_str(), 1));
  std::string delivered;
  int32_t newlines = 0;
  for (;;) {
    int c = input.readChar();
    if (c == 0) break;
    check(delivered.size() <= bytes.size());
    delivered += c == InputBuffer::kNulByte ? '\0' : static_cast<char>(c);
    if (c == '\n') ++newlines;
  }
  check(delivered == expectedCharacters(bytes));
  check(input.endReached && input.endLine == newlines + 1);
}

void passThrough(const std::string& bytes) {
  writeSource(bytes);
  OrbaPreprocessor preprocessor;
  preprocessor.openSource(sourcePath.c_str());
  size_t lines = 0;
  size_t characters = 0;
  int32_t lastNumber = 0;
  LineInfo* first = lineState()->first();
  LineInfo* last = lineState()->last();
  check(first && last && first != last && !first->text && !last->text);
  for (LineInfo* line = first->next; line != last; line = line->next) {
    ++lines;
    const char* text = line->text;
    size_t length = std::strlen(text);
    check(length > 0 && text[length - 1] == '\n');
    for (size_t i = 0; i < length; ++i) {
      auto c = static_cast<unsigned char>(text[i]);
      check(c != '\r' && (c >= 0x80 || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
                          (c >= ' ' && c <= '~')));
    }
    check(line->lineNumberSigned() > lastNumber);
    lastNumber = line->lineNumberSigned();
    check(line->sourceStart() <= line->sourceEnd());
    characters += length;
  }
  std::string expected = expectedCharacters(bytes);
  check(lines <= expected.size());
  check(characters <= expected.size());
  // One message at most per line.
  size_t messages = 0;
  ErrorHandler::ErrorIter records(*runState().errorHandler);
  for (records.first(); !records.isDone(); records.next()) ++messages;
  check(messages <= lines);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  setUpOnce();
  if (size < 1) return 0;
  std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  // Each input has a run of its own: its own lines and diagnostics.
  FuzzRun run;
  OrbaFactory factory;
  setUp(factory);
  runState().lineState = new LineState();
  runState().errorHandler = new ErrorHandler();
  runState().errorHandler->setErrorLimit(0);
  switch (data[0] % 3) {
    case 0:
      scanText(bytes);
      break;
    case 1:
      readFile(bytes);
      break;
    default:
      passThrough(bytes);
      break;
  }
  return 0;
}
