// The generated, constant TriCore instruction tables: the character automaton over whole
// instruction texts, the accepting lists of instruction forms, the forms' descriptions and
// patterns, and the named values (registers, mnemonics) with their operand value tables.
// The records are emitted by src/isa/gen from src/isa/tricore.isa.
#pragma once

#include <cstdint>

struct AttributeSpecItem;

namespace isa {

// Pseudo-characters of the automaton: a required blank run, an operand read by a registered
// parse function, and an expression operand. Text bytes with these codes never take them.
constexpr int kBlankCharacter = 32;
constexpr int kParsedOperandCharacter = 5;
constexpr int kExpressionCharacter = 127;
constexpr int16_t kNoTransition = -32768;
constexpr uint16_t kStartState = 1;

enum PatternItemKind : uint32_t {
  kItemLiteral = 14,
  kItemSequenceChoice = 15,
  kItemExpression = 16,
  kItemSequence = 17,
  kItemSlot = 20,
};

enum AlternativeKind : uint32_t { kHardwareForm = 4, kGenericForm = 6 };

}  // namespace isa

struct FieldConstant {
  uint32_t kind;
  uint32_t value;
};

// One run of an operand field: `length` value bits from `source` go to `destination`.
struct OperandMapping {
  uint8_t length;
  uint8_t source;
  uint8_t destination;
};

struct OperandFieldMap {
  const FieldConstant* mask;
  const FieldConstant* expect;
  uint32_t fieldCount;
  const OperandMapping* mappings;
};

struct OpcodeTemplate {
  uint32_t count;
  uint32_t words[1];
};

struct InstructionDescription {
  uint32_t bits;
  const OpcodeTemplate* opcode;
  uint32_t operandCount;
  const AttributeSpecItem* spec;
  const uint32_t* cpus;
  uint32_t cycles;
  uint32_t alignment;
  uint32_t reserved;
};

struct OperandTransform {
  enum Kind : uint32_t { kEnd = 0, kRange = 1, kPcRelative = 3, kRelocation = 16 };
  uint32_t kind;
  int64_t a;
  int64_t b;
  void (*function)();
};

struct PatternItem {
  uint32_t kind;
  const void* node;  // literal text, OperandSlot, SequenceChoice, OperandSequence or transforms
  int32_t operandIndex;
  int32_t secondIndex;
  const OperandFieldMap* fields;
  const AttributeSpecItem* spec;
  uint32_t textLength = 0;  // the bytes of a literal's text
};

struct PatternElement {
  uint32_t kind;  // 23
  const void* owner;
  const PatternItem* item;
  uint32_t reserved[2];
};

class CandidateNodes;
class OrbaExpression;
struct LineInfo;

// One piece of an expansion template: a text, in which "~" and a digit stand for a
// temporary label; one character; or the operand value at an index, written as text.
struct TemplateItem {
  enum Kind : uint32_t { kEnd = 0, kCharacter = 8, kOperand = 11, kText = 12 };
  uint32_t kind;
  uint32_t value;  // kCharacter: the character code; kOperand: the operand index
  const char* text;  // kText
};

// One template entry of a generic form: the source lines it generates. A list of entries
// ends at a marker of 0.
struct ExpansionTemplate {
  static constexpr uint32_t kMarker = 21;
  uint32_t marker;
  uint32_t flag;  // non-zero: the generated lines are template lines
  // The entry is used when this condition, if any, comes out an error or a non-zero
  // integer. Its nodes go to `made`.
  OrbaExpression* (*condition)(LineInfo* line, OrbaExpression** operands, CandidateNodes*& made);
  const uint32_t* cpus;  // zero-terminated CPU ids, or null for every CPU
  const TemplateItem* items;
};

// What a generic form (a conditional jump or loop to any target) expands into.
struct GenericDescription {
  uint32_t operandCount;
  const ExpansionTemplate* templates;
  const AttributeSpecItem* spec;
  const uint32_t* cpus;  // zero-terminated CPU ids, or null for every CPU
};

struct MatchAlternative {
  uint32_t kind;  // isa::AlternativeKind
  uint32_t reserved;
  const InstructionDescription* description;  // a hardware form's; null for a generic form
  const PatternElement* elements;
  uint32_t elementCount;
  uint16_t form;  // index into isa::formInfo()
  const GenericDescription* generic = nullptr;  // a generic form's
};

struct RegisterRecord {
  enum ValueKind : uint32_t { kInteger = 10, kText = 12 };
  const char* name;
  uint32_t valueKind;
  uint32_t value;
  uint32_t secondKind;
  union {
    uint32_t number;
    const char* text;
  } second;
  uint32_t reserved[2];
  const AttributeSpecItem* spec;
  uint32_t nameLength = 0;  // the bytes of the name
};

namespace isa {
struct StateValueIndex;
}

// The error text of a named-value choice and the number of its table from state to value,
// which the matcher's start-up builds for the run (the generated tables stay constant).
struct OperandValueTable {
  const char* text;
  uint32_t index;
};

struct NameElement;

struct OperandSlot {
  uint32_t kind;  // 2
  uint32_t reserved;
  const OperandValueTable* values;
  const NameElement* names;
  uint32_t count;
};

struct NameElement {
  uint32_t kind;  // 22
  const OperandSlot* owner;
  const RegisterRecord* record;
  uint32_t reserved[2];
};

struct OperandSequence {
  uint32_t kind;  // 5
  uint32_t reserved;
  const InstructionDescription* description;
  const PatternElement* elements;
  uint32_t count;
};

struct ChoiceElement;

struct SequenceChoice {
  uint32_t kind;  // 7
  uint32_t reserved;
  const OperandValueTable* values;  // without a text
  const ChoiceElement* choices;
  uint32_t count;
};

struct ChoiceElement {
  uint32_t kind;  // 17
  const SequenceChoice* owner;
  const OperandSequence* sequence;
  uint32_t reserved[2];
};

struct MatchState {
  const int16_t* deltas;
  int8_t lo;
  int8_t hi;
  uint8_t flags;  // bits 1..3: word class
  uint8_t alternativeCount;
  const MatchAlternative* const* alternatives;  // null-terminated, null when not accepting
  const OperandSlot* expectedSlot;

  int wordClass() const { return (flags >> 1) & 7; }
  // The successor on a character code, or 0 when there is none.
  uint16_t successor(uint16_t self, int character) const {
    if (character < lo || character > hi) return 0;
    int16_t delta = deltas[character - lo];
    if (delta == isa::kNoTransition) return 0;
    return static_cast<uint16_t>(self + delta);
  }
};

// One static pair of a value table: a state number and the index of the name or sequence
// that the text held when the walk reached the state.
struct StateValuePair {
  uint32_t state;
  uint32_t value;
};

// The pairs of one value table, from which start-up builds the run's table.
struct ValueTableSource {
  const OperandValueTable* target;
  const StateValuePair* pairs;
  uint32_t count;
};

namespace isa {

// What the data file says about a form, for diagnostics and tests.
struct FormInfo {
  uint16_t rank;
  uint8_t bits;  // 0 for a generic form
  const char* syntax;  // in the notation of the data file, without field annotations
  const char* firstMnemonic;
};

const MatchState* matchStates();
uint32_t matchStateCount();
const MatchAlternative* matchAlternatives();
uint32_t matchAlternativeCount();
const FormInfo* formInfo();
const ValueTableSource* valueTableSources();
uint32_t valueTableSourceCount();
// The value tables that carry an error text, in catalog order (data register first).
const OperandValueTable* registerValueTable(uint32_t index);
uint32_t registerValueTableCount();

}  // namespace isa
