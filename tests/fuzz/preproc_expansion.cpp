// The text work of macro and repeat expansion over arbitrary bytes. The first byte
// picks what reads the rest: even, the argument splitter over the bytes as an
// operand text (bit 1: "//" as the comment string instead of ";"); odd, the body
// substitution of the bytes as a body, with arguments taken from the splitter over
// the first line (bit 1: a macro whose local labels are those arguments; bit 2:
// names compared without regard to case). Each checks what it produced against
// what the bytes allow.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "driver/OrbaOptions.h"
#include "preproc/BodySubstitution.h"
#include "preproc/LineState.h"
#include "preproc/MacroArguments.h"
#include "preproc/MppRecords.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/StringBuffer.h"
#include "FuzzRun.h"

namespace {

void setUp(OrbaFactory& factory) {
  char program[] = "vekt";
  char* argv[] = {program, nullptr};
  runState().orbaOptions = new OrbaOptions(1, argv);
  runState().stringBuffer = new StringBuffer();
  runState().orbaFactory = &factory;
}

void check(bool holds) {
  if (!holds) __builtin_trap();
}

// Only the names the body holds can have a value; one of them does.
bool someValue(std::string_view name, int64_t* value) {
  if (name.size() % 2 != 0) return false;
  *value = static_cast<int64_t>(name.size()) - 3;
  return true;
}

std::vector<const char*> split(const std::string& text, const char* commentString,
                               LineInfo* line) {
  std::vector<const char*> items;
  const char* cursor = text.c_str();
  splitMacroArguments(cursor, commentString, items, line);
  const char* end = text.c_str() + text.size();
  check(cursor >= text.c_str() && cursor <= end);
  for (const char* item : items) {
    if (!item) continue;
    check(item == stringBuffer()->intern(item));
    check(std::strlen(item) <= text.size());
    check(!std::strchr(item, '\n'));
  }
  return items;
}

void substitute(const std::string& body, uint8_t mode, LineInfo* line) {
  std::vector<const char*> items = split(body, ";", line);
  // The arguments are named a0, a1, ...: short names that bodies hit often.
  std::vector<const char*> names;
  for (size_t i = 0; i < items.size() && i < 8; ++i)
    names.push_back(stringBuffer()->intern(("a" + std::to_string(i)).c_str()));
  MppMacro macro(stringBuffer()->intern("m"), names);
  MppDup dup(nullptr, 1);
  MppConstruct* construct = &dup;
  if (mode & 2) {
    for (const char* item : items)
      if (item) macro.localNames.insert(item);
    construct = &macro;
  }
  MppExpand expansion(construct == &macro ? MppExpand::kMacroCall : MppExpand::kRepeat,
                      construct);
  expansion.number = static_cast<int32_t>(body.size());
  for (size_t i = 0; i < names.size(); ++i) expansion.addArgument(names[i], items[i]);

  BodySubstitution substitution;
  BodySubstitution::Settings settings;
  settings.caseSensitive = (mode & 4) == 0;
  settings.symbolValue = someValue;
  const char* label = (mode & 8) ? "L" : nullptr;
  const std::string& text = substitution.expand(body, expansion, label, settings);
  check(text.find('\0') == std::string::npos);
  if (label) check(text.compare(0, 3, "L:\n") == 0);
  // Every newline of the body up to its first NUL stays a newline of its own.
  std::string_view used(body.c_str());
  size_t newlines = 0;
  for (char c : used) newlines += c == '\n';
  size_t produced = 0;
  for (char c : text) produced += c == '\n';
  check(produced >= newlines);
  // Substitution is a function of its input: a second run gives the same text.
  std::string first = text;
  check(substitution.expand(body, expansion, label, settings) == first);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  uint8_t mode = data[0];
  std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  // A fresh run for each input: diagnostics and lines do not pile up.
  FuzzRun run;
  OrbaFactory factory;
  setUp(factory);
  runState().errorHandler = new ErrorHandler();
  runState().lineState = new LineState();
  LineInfo* line = runState().lineState->appendLine("fuzz\n", runState().lineState->sourceFileId("fuzz.asm"), 1, 0);
  if ((mode & 1) == 0)
    split(text, (mode & 2) ? "//" : ";", line);
  else
    substitute(text, mode, line);
  return 0;
}
