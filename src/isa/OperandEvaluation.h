// Building the candidates of a matched statement: each hardware form of the accepting state
// replays the accepted path backwards, element by element, to recover its operand values,
// place their bits and keep the fields that only layout can settle.
#pragma once

#include <cstdint>
#include <string>
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
  // Every hardware form the walk offered, built or not, in the order offered; kept only
  // when set.
  std::vector<const MatchAlternative*>* offered = nullptr;
  const char* whenMessage = nullptr;
  bool found = false;
  bool isJump = false;
  bool cpuMismatch = false;
  bool failed = false;
  // Set when a generic form generated lines after the statement's line.
  bool expanded = false;
  // The variant number the next expansion's lines take.
  uint32_t variantCount = 0;
  // When set, the generated lines are packed here (see insertExpansionLines) instead of
  // going into the line list at once: the statement decides when they are needed.
  std::string* expansionText = nullptr;
  // Lines of the packed expansion that hold an instruction.
  uint32_t expansionInstructions = 0;
  // Set when a generic form of the statement may take the kept outcome of one parsed before
  // that differs only in its target (see GenericExpansion.h), under this generation of the
  // run's settings.
  bool targetOutcomes = false;
  uint32_t settingsGeneration = 0;
  // The kept outcome the statement took or made, null when none (see jumpExpansionOf).
  const void* targetOutcome = nullptr;
  // The length of the matched text without the blanks and comment at its end, worked out
  // once for the forms of an offer: of the matcher's offer with this number, text and
  // matched length.
  uint64_t trimmedOffer = 0;
  const char* trimmedText = nullptr;
  uint32_t trimmedFrom = 0;
  uint32_t trimmedLength = 0;
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

// Backward match of a pattern text against the statement text, from textLeft characters of
// text and statesLeft path states; leaves both as they were on a mismatch.
bool matchTextBackward(const char* text, uint32_t& textLeft, uint32_t& statesLeft, const char* patternText);
// The same for a pattern text whose length the tables give. A name or punctuation that
// stands in the text byte for byte, with no blank, is decided here; anything else (blanks,
// letters of another case, a length of 0) by the function above.
inline bool matchTextBackward(const char* text, uint32_t& textLeft, uint32_t& statesLeft, const char* patternText,
                              uint32_t patternLength) {
  uint32_t p = textLeft;
  // The blank after the mnemonic: one path state for the text's whole blank run.
  if (patternLength == 1 && patternText[0] == ' ') {
    while (p > 0 && (text[p - 1] == ' ' || (text[p - 1] >= '\t' && text[p - 1] <= '\r'))) --p;
    textLeft = p;
    if (statesLeft > 0) --statesLeft;
    return true;
  }
  if (patternLength != 0 && patternLength <= p && patternLength <= statesLeft) {
    const char* from = text + (p - patternLength);
    uint32_t i = 0;
    while (i < patternLength && from[i] == patternText[i] && patternText[i] != ' ' &&
           !(patternText[i] >= '\t' && patternText[i] <= '\r'))
      ++i;
    if (i == patternLength) {
      textLeft = p - patternLength;
      statesLeft -= patternLength;
      return true;
    }
  }
  return matchTextBackward(text, textLeft, statesLeft, patternText);
}
// The expression that the matcher parsed for the path state `state`, ending where the text
// left of textLeft ends (blanks after it are not its own); false when there is none.
bool findParsedOperand(const InstructionMatcher* matcher, uint16_t state, const char* text, uint32_t textLeft,
                       InstructionMatcher::ParsedExpression& parsed);

// Places a named value's bits through the item's field runs; the walk does this for every
// register and mnemonic of every candidate.
inline void placeValueFields(Encoding* encoding, const OperandFieldMap* map, uint32_t valueKind, uint32_t value) {
  if (!encoding || !map || valueKind != RegisterRecord::kInteger || value == 0 || map->fieldCount == 0) return;
  for (uint32_t i = 0; i < map->fieldCount; ++i) {
    const OperandMapping& run = map->mappings[i];
    if (run.length == 0 || run.source >= 32) continue;
    // orBits refuses a run that leaves the value or the encoding.
    uint32_t length = run.source + run.length > 32 ? 32u - run.source : run.length;
    encoding->orBits(value, length, run.source, run.destination);
  }
}
void setOperandValue(int32_t index, OrbaExpression** operands, uint32_t kind, uint32_t value, const char* text,
                     bool accumulate);

// The length of the matched statement text without the blanks and the comment at its end;
// worked out once for the forms of an offer.
uint32_t trimmedMatchLength(BuildContext& context, const char* commentPrefix);

// The candidate of one hardware form, added to the context when it fits.
void buildInstruction(const MatchAlternative& alternative, const MatchPath& path, BuildContext& context,
                      LineInfo* line, const char* commentPrefix);

// Hands every hardware form of an accepting state to buildInstruction and every generic
// form to expandInstructionLine.
class InstructionBuilder : public MatchListener {
 public:
  InstructionBuilder(BuildContext& context, LineInfo* line, const char* commentPrefix)
      : context_(context), line_(line), commentPrefix_(commentPrefix) {}
  void acceptForm(const MatchAlternative& alternative, const MatchPath& path) override;
  // The statement that the next walk offers forms of.
  void setStatement(LineInfo* line, const char* commentPrefix) {
    line_ = line;
    commentPrefix_ = commentPrefix;
  }

 private:
  BuildContext& context_;
  LineInfo* line_;
  const char* commentPrefix_;
};

}  // namespace isa
