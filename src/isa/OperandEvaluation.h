// Building the candidates of a matched statement: each hardware form of the accepting state
// replays the accepted path backwards, element by element, to recover its operand values,
// place their bits and keep the fields that only layout can settle.
#pragma once

#include <cstdint>
#include <vector>

#include "isa/IPInstruction.h"
#include "isa/InstructionMatcher.h"

class CandidateNodes;
class IPAttribute;
class OrbaExpression;
struct LineInfo;

namespace isa {

// The building side of a statement's matching context.
struct BuildContext {
  InstructionMatcher* matcher = nullptr;  // holds the parsed expressions of the statement
  MatchContext* match = nullptr;          // text, matched length and the syntax failure
  std::vector<IPInstruction*> candidates;
  const char* whenMessage = nullptr;
  bool found = false;
  bool isJump = false;
  bool cpuMismatch = false;
  bool failed = false;
};

// The walk's state as every element handler receives it. p counts the characters of the
// operand text not yet walked, c the path states not yet consumed.
struct OperandWalk {
  IPInstruction* instruction;
  const uint16_t* states;
  uint32_t& c;
  const char* text;
  uint32_t& p;
  OrbaExpression** operands;
  BuildContext& context;
  IPAttribute* attributes;
  uint32_t listKind;
  Encoding* encoding;
  LineInfo* line;
  CandidateNodes*& made;  // receives the nodes built for the candidate
};

void evaluateOperandEncodings(OperandWalk& walk, const PatternElement* elements, uint32_t elementCount);
bool evaluateSlotOperand(OperandWalk& walk, const PatternItem& item);
bool evaluateExpressionOperand(OperandWalk& walk, const PatternItem& item);
// `sequence` null: the item's own.
bool evaluateNestedForm(OperandWalk& walk, const PatternItem& item, const OperandSequence* sequence);

// Backward match of a pattern text against the statement text; restores p and c on a mismatch.
bool matchBackward(OperandWalk& walk, const char* patternText);
// The same over a text and counters of the caller's: textLeft characters, statesLeft states.
bool matchTextBackward(const char* text, uint32_t& textLeft, uint32_t& statesLeft, const char* patternText);
// The expression that the matcher parsed for the path state `state`, ending where the text
// left of textLeft ends (blanks after it are not its own); false when there is none.
bool findParsedOperand(const InstructionMatcher* matcher, uint16_t state, const char* text, uint32_t textLeft,
                       InstructionMatcher::ParsedExpression& parsed);

void placeValueFields(Encoding* encoding, const OperandFieldMap* map, uint32_t valueKind, uint32_t value);
void setOperandValue(int32_t index, OrbaExpression** operands, uint32_t kind, uint32_t value, const char* text,
                     bool accumulate);

// The candidate of one hardware form, added to the context when it fits.
void buildInstruction(const MatchAlternative& alternative, const MatchPath& path, BuildContext& context,
                      LineInfo* line, const char* commentPrefix);

// Hands every hardware form of an accepting state to buildInstruction.
class InstructionBuilder : public MatchListener {
 public:
  InstructionBuilder(BuildContext& context, LineInfo* line, const char* commentPrefix)
      : context_(context), line_(line), commentPrefix_(commentPrefix) {}
  void acceptForm(const MatchAlternative& alternative, const MatchPath& path) override;

 private:
  BuildContext& context_;
  LineInfo* line_;
  const char* commentPrefix_;
};

}  // namespace isa
