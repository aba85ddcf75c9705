// Owns the instruction matcher: constructing it builds the matching tables.
#pragma once

class InstructionParser {
 public:
  InstructionParser();
  ~InstructionParser();
  InstructionParser(const InstructionParser&) = delete;
  InstructionParser& operator=(const InstructionParser&) = delete;
};
