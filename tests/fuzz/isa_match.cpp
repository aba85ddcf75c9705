// Walks arbitrary statement texts through the instruction automaton.
#include <cstddef>
#include <cstdint>
#include <string>

#include "isa/InstructionMatcher.h"

namespace {

struct Sink : isa::MatchListener {
  uint32_t seen = 0;
  void acceptForm(const MatchAlternative& alternative, const isa::MatchPath& path) override {
    // The path ends in the accepting state of the form.
    const MatchState& last = isa::matchStates()[path.states[path.count - 1]];
    if (!last.alternativeCount || alternative.form >= isa::matchAlternativeCount()) __builtin_trap();
    ++seen;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static isa::SimpleOperandParser parser;
  static Sink sink;
  static isa::InstructionMatcher matcher(parser, sink);
  std::string text(reinterpret_cast<const char*>(data), size);
  isa::MatchContext context;
  isa::MatchOptions options;
  options.commentPrefix = size & 1 ? ";" : nullptr;
  uint32_t consumed = matcher.matchStatement(text.c_str(), nullptr, options, context);
  if (consumed > text.size()) __builtin_trap();
  char buffer[128];
  isa::syntaxFailureText(context.failure, buffer, sizeof buffer);
  return 0;
}
