// The instruction forms as read from the data file: formats, forms, their mnemonics and
// their syntax as a tree of pattern items.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace isagen {

// One run of a field: value bits [valueLo, valueLo+length) go to instruction bit bitLo.
struct FieldRun {
  int length = 0;
  int valueLo = 0;
  int bitLo = 0;
};

struct Format {
  std::string name;
  int bits = 0;
  std::map<std::string, std::vector<FieldRun>> fields;
};

enum class RegisterKind { None, Data, DataNot15, Data15, Address, Address15, StackPointer, DataPair,
                          AddressPair, DataQuad };

struct Item;
using Sequence = std::vector<Item>;

struct Item {
  enum Kind { Literal, Blank, Slot, Expression, Choice };
  explicit Item(Kind k = Literal, std::string t = {}) : kind(k), text(std::move(t)) {}
  Kind kind = Literal;
  std::string text;                // Literal: lower-case text
  RegisterKind reg = RegisterKind::None;  // Slot: the register set; None for the mnemonic slot
  bool hasRange = false;           // Expression: n[lo..hi] or a fixed number
  bool fixed = false;              // Expression written as a bare number
  int64_t lo = 0, hi = 0;
  std::string exprName;            // Expression: "label", "address" or empty
  std::vector<std::string> fields; // encoding fields that take the value
  std::vector<Sequence> alternatives;  // Choice
};

struct Mnemonic {
  std::string name;
  bool plainOnly = false;  // no size-marked partner
  int64_t op1 = -1, op2 = -1;
  int64_t second = -1;
  std::string secondText;  // second="TEXT": a text value instead of a number
  std::string encodedAs;
  // The cycle class (cycle=N) and the attribute that carries it: cycle_info, or the
  // cycle_inf and cylce_info that a few records use instead; empty when none is given.
  std::string cycleAttribute;
  int64_t cycleClass = -1;
};

struct Form {
  int index = 0;        // position in the data file
  int rank = 0;         // position in every accepting list
  int bits = 0;         // 16, 32, or 0 for a generic form
  std::string format;   // "-" for generic forms
  std::string syntax;   // as written, with field annotations
  std::string partSyntax;  // without field annotations
  uint32_t opcodeTemplate = 0;
  std::vector<std::string> when;
  // A generic form's expansion templates as written on its "expand" lines.
  std::vector<std::string> expansions;
  std::vector<Mnemonic> mnemonics;
  Sequence operands;    // the operand syntax (without mnemonic and blank)
  int line = 0;
};

struct IsaData {
  std::map<std::string, Format> formats;
  std::vector<Form> forms;
};

// Reads the data file; on an error prints "file:line: message" and returns false.
bool readIsaData(const std::string& path, IsaData& data);

// The names of a register set in value order, and the register number of each.
const std::vector<std::string>& registerNames(RegisterKind kind);
const std::vector<int>& registerNumbers(RegisterKind kind);
const char* registerErrorText(RegisterKind kind);
const char* registerNotation(RegisterKind kind);

// The names a mnemonic is accepted under: itself, and for sized forms the size-marked name.
std::vector<std::string> acceptedNames(const Form& form, const Mnemonic& mnemonic);

}  // namespace isagen
