// The nodes of the integer and string data directives (.BYTE, .HALF, .WORD, .ASCII,
// .ASCIIZ) and of the data the assembler generates for its own sections.
#pragma once

#include <cstdint>
#include <vector>

#include "flow/FlowNode.h"
#include "util/MemoryPools.h"

class OrbaExpression;

// What the data nodes share: the value expressions of one directive line (owned
// list, shared expressions) and the directive as messages name it.
class FDataNode : public FlowNode {
 public:
  FDataNode(LineInfo* line, Kind kind, const char* directive, uint32_t directiveId)
      : FlowNode(line, kind), directive(directive), directiveId(directiveId) {}
  ~FDataNode() override = default;

  void releaseData() override;

  virtual void addValue(OrbaExpression* value) { values.push_back(value); }
  virtual uint32_t directiveCode() const { return directiveId; }
  virtual const char* directiveName() const { return directive; }

  std::vector<OrbaExpression*> values;
  const char* directive;  // ".BYTE" ... as messages quote it; "Dwarf" and "Note" for generated data
  uint32_t directiveId;   // the line scanner's code of the directive; 0 for none

 protected:
  // The part of emit that a section without data image gets: E252, the location
  // moved by the node's size and every error value reported with fallbackId.
  // Returns the size; noStorageWarning adds W242 when it is 0 or less.
  int32_t emitWithoutImage(ObjectWriter& writer, int32_t fallbackId, bool noStorageWarning);
  void copyData(const FDataNode& other);
};

class FConstant : public FDataNode {
  VEKT_POOLED_CLASS(FConstant)

 public:
  enum Directive { kByte, kHalf, kWord, kAscii, kAsciiz };
  // Line scanner codes of the directives.
  static constexpr uint32_t kByteCode = 78;
  static constexpr uint32_t kHalfCode = 91;
  static constexpr uint32_t kWordCode = 109;
  // Relocation type of a relocatable .WORD value.
  static constexpr uint8_t kWordRelocation = 2;

  FConstant(LineInfo* line, const char* directive, uint32_t directiveId, uint8_t width,
            uint8_t relocationType, uint8_t packStrings)
      : FDataNode(line, kConstant, directive, directiveId),
        width(width),
        relocationType(relocationType),
        packStrings(packStrings) {}
  // The node of a source directive, shaped as the directive asks.
  static FConstant* create(Directive directive, LineInfo* line);

  FlowNode* clone() const override;
  int32_t computeSize(Section* section, uint32_t offset) override;
  void emit(ObjectWriter& writer) override;
  void dump(std::ostream& out) const override;

  virtual void assign(const FConstant& other);
  // Adds one operand of the directive: .ASCII and .ASCIIZ take strings only (E238
  // puts the empty string in place of anything else) and .ASCIIZ ends each one
  // with a zero element.
  void addOperand(OrbaExpression* operand);

  uint8_t width;           // bits per element
  uint8_t relocationType;  // 0: relocatable values are refused
  uint8_t packStrings;     // strings fill consecutive elements
};

// Whether a value can go out as one relocation: no relocatable reference, or one
// symbol plus or minus constants (under @RANGE / @WRANGE and @INPAGE, @PAGESIZE,
// @PCREL). Every value of a debug section can.
bool isSimpleRelocation(const OrbaExpression* expression, const LineInfo* line);
