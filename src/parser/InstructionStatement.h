// The instruction statement: matches the statement text against the instruction automaton,
// builds every hardware form that fits, lets generic forms generate their lines, and puts
// the resulting flow node into the line's section.
#pragma once

#include <cstdint>
#include <memory>

struct LineInfo;

class InstructionStatements {
 public:
  InstructionStatements();
  ~InstructionStatements();
  InstructionStatements(const InstructionStatements&) = delete;
  InstructionStatements& operator=(const InstructionStatements&) = delete;

  // The statement that starts at `position` (the mnemonic); `consumed` receives the
  // characters an accepting walk took (0 when none). False after a diagnostic, or after
  // an error node took the diagnostic of a generated line.
  bool parse(const char* position, LineInfo* line, uint32_t* consumed);
  // A directive or control ran: it may have changed a setting that matching reads, so no
  // statement before it stands for one after it.
  // `directive` is the keyword's token, when the caller knows it: a directive that only
  // places data, space or a symbol's value leaves the kept jumps as they were.
  void settingsMayHaveChanged(int directive = 0);
  // A directive that binds symbols (.GLOBAL, .EXTERN, .LOCAL, .WEAK) ran: statements of
  // registers and numbers alone read no symbol and stay valid; a jump names a symbol and
  // is made again.
  void symbolBindingChanged();

 public:
  struct Session;

 private:
  std::unique_ptr<Session> session_;
};
