// Owns the instruction matcher's start-up tables: constructing it builds them, deleting it
// frees them.
#pragma once

class InstructionParser {
 public:
  InstructionParser();
  ~InstructionParser();
  InstructionParser(const InstructionParser&) = delete;
  InstructionParser& operator=(const InstructionParser&) = delete;
};
