// The candidate encodings of an instruction statement: the bit image of one form with the
// operand fields that can only be filled after layout, and the candidate that owns it.
#pragma once

#include <cstdint>

#include "util/InlineVector.h"
#include "isa/InstructionTables.h"
#include "util/MemoryPools.h"

class CandidateNodes;
class IPAttribute;
class OrbaExpression;
class Section;
struct LineInfo;


// Computes an operand's value from its expression whenever the value is asked for.
using PostEncodeCallback = OrbaExpression* (*)(LineInfo* context, OrbaExpression** argument);

// Image positions are bytes; a run that would reach past this is refused.
constexpr uint32_t kImageBits = 256;

// One operand field that the output stage encodes once its value is known.
class OperandEncoding {
  VEKT_POOLED_CLASS(OperandEncoding)

 public:
  OperandEncoding(OrbaExpression** value, const OperandTransform* transforms, uint32_t fieldCount,
                  const OperandMapping* fields, const FieldConstant* mask, const FieldConstant* expect,
                  uint32_t code1, uint32_t code2, uint32_t code3, bool transformFlag,
                  PostEncodeCallback callback, LineInfo* line);
  // Copy: the expression and the constraints are shared.
  void copyFrom(const OperandEncoding& other);
  OperandEncoding() = default;
  ~OperandEncoding() = default;
  OperandEncoding(const OperandEncoding&) = delete;
  OperandEncoding& operator=(const OperandEncoding&) = delete;

  // Rewrites the runs from sub-encoding positions to the positions the triples move them to.
  void remapBits(uint32_t count, const OperandMapping* triples);

  OrbaExpression* expression = nullptr;  // not owned
  InlineVector<OperandMapping, 4> mapping;  // the runs, kept in the record
  InlineVector<uint32_t, 2> values;          // ordered, each once
  PostEncodeCallback callback = nullptr;
  LineInfo* context = nullptr;
  const FieldConstant* mask = nullptr;
  const FieldConstant* expect = nullptr;
  uint8_t relocFunction[3] = {0, 0, 0};
  uint8_t transformFlag = 0;
  uint8_t status[3] = {0, 0, 0};
  uint8_t marker = 1;
};


class Encoding {
  VEKT_POOLED_CLASS(Encoding)

 public:
  // The image holds the last words of the template; every other word is 0.
  Encoding(uint32_t bits, const OpcodeTemplate* opcode);
  // Deletes the operand fields and drops the claim on the nodes they point at.
  ~Encoding();
  Encoding(const Encoding&) = delete;
  Encoding& operator=(const Encoding&) = delete;

  // Writes the operand's bits now when its value is a constant that meets the field's
  // constraint, otherwise keeps an OperandEncoding for the output stage.
  void addOperand(LineInfo* line, uint32_t fieldCount, const OperandMapping* fields, OrbaExpression* value,
                  const OperandTransform* transforms, const FieldConstant* mask, const FieldConstant* expect,
                  uint32_t code1, uint32_t code2, uint32_t code3, bool transformFlag, PostEncodeCallback callback);

  bool bit(uint32_t position) const;
  // ORs `length` value bits from `source` into the image from `destination`. A run that
  // reaches outside the value or the image is an internal error (S901).
  void orBits(uint64_t value, uint32_t length, uint32_t source, uint32_t destination) {
    // Nearly every field is a run of the low value word that stays inside one image word.
    if (length - 1 < 32 && source + length <= 32 && destination + length <= (bits ? bits : kImageBits) &&
        destination % 32 + length <= 32) {
      image[7 - destination / 32] |= static_cast<uint32_t>((value >> source) & ((uint64_t{1} << length) - 1))
                                     << (destination % 32);
      return;
    }
    orBitsAcrossWords(value, length, source, destination);
  }
  // The same with bits taken from another image.
  void orImageBits(const Encoding& from, uint32_t length, uint32_t source, uint32_t destination);

  // The instruction's bytes as they lie in memory: halfwords from the least significant,
  // each low byte first. `out` receives (bits + 7) / 8 bytes.
  uint32_t memoryBytes(uint8_t* out, uint32_t size) const {
    uint32_t count = (bits + 7u) / 8u < size ? (bits + 7u) / 8u : size;
    for (uint32_t i = 0; i < count; ++i) out[i] = static_cast<uint8_t>(image[7 - i / 4] >> (8 * (i % 4)));
    return count;
  }

  // A copy with the same image and copies of the operand fields, which share their
  // expressions (and the claim on the nodes behind them).
  Encoding* copy() const;

  uint8_t bits = 0;
  // Owned. A form rarely leaves more than two fields to layout: they live in the record.
  InlineVector<OperandEncoding*, 2> operands;
  uint32_t image[8] = {};  // the last word holds bits 0..31
  // The nodes made for the operand fields, shared with the candidate's attribute set.
  CandidateNodes* nodes = nullptr;

 private:
  void orBitsAcrossWords(uint64_t value, uint32_t length, uint32_t source, uint32_t destination);
};

class IPInstruction {
  VEKT_POOLED_CLASS(IPInstruction)

 public:
  IPInstruction() = default;
  // Releases the encoding and the attribute set, and with them everything they own.
  ~IPInstruction();
  IPInstruction(const IPInstruction&) = delete;
  IPInstruction& operator=(const IPInstruction&) = delete;

  // Addressable units taken at the offset of the section, alignment padding included.
  int64_t size(const Section* section, uint32_t offset) const;

  // A copy of the candidate: the same fields, a copy of the encoding and of the attribute
  // set. Either may be deleted first.
  IPInstruction* copy() const;

  // Kept for every relaxable instruction of the run: the pointers first, the small fields
  // packed behind them.
  Encoding* encoding = nullptr;
  const MatchAlternative* alternative = nullptr;
  IPAttribute* attributes = nullptr;
  int32_t alignment = 0;
  uint16_t cycles = 0;  // as a line and a node count them
  uint8_t count = 1;    // layout's last check of the form: 0 rejected, 1 fits, 2 undecided
  uint8_t excluded = 0;
};

uint32_t addressUnitBits(const Section* section);

// Units to skip from the offset to the next multiple of the alignment. With powerOfTwo the
// alignment rises to the next power of two and `text` receives the W127 text. An alignment
// below 1, or one whose power of two does not fit 32 bits, skips nothing.
int32_t computeAlignPadding(const Section* section, uint32_t offset, int32_t alignment, bool powerOfTwo,
                            const char** text);
// The same from an address, for callers that know it.
int32_t alignPaddingAt(int64_t address, int32_t alignment, bool powerOfTwo, const char** text);

// Raises S901 for an encoding fault; never returns.
[[noreturn]] void encodingFault(int line, const char* text);
