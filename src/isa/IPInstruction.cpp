#include "isa/IPInstruction.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "expr/OrbaExpression.h"
#include "flow/Section.h"
#include "isa/CandidateNodes.h"
#include "isa/IPAttribute.h"
#include "isa/PostEncode.h"
#include "util/ErrorHandler.h"
#include "util/OrbaState.h"
#include "util/RunState.h"

VEKT_POOLED_CLASS_IMPL(OperandEncoding, "OperandEncoding")
VEKT_POOLED_CLASS_IMPL(Encoding, "Encoding")
VEKT_POOLED_CLASS_IMPL(IPInstruction, "IPInstruction")


void encodingFault(int line, const char* text) {
  errorHandler()->reportWithoutLocation(S_should_not_happen, "IPInstruction", line, text);
  // The handler ends the program on an internal error; stop here should it ever return.
  std::abort();
}


// ---------------------------------------------------------------------------------------

OperandEncoding::OperandEncoding(OrbaExpression** value, const OperandTransform* transforms, uint32_t fieldCount,
                                 const OperandMapping* fields, const FieldConstant* mask,
                                 const FieldConstant* expectValue, uint32_t code1, uint32_t code2, uint32_t code3,
                                 bool flag, PostEncodeCallback postEncode, LineInfo* line)
    : expression(value ? *value : nullptr),
      callback(postEncode),
      context(line),
      mask(mask),
      expect(expectValue),
      relocFunction{static_cast<uint8_t>(code1), static_cast<uint8_t>(code2), static_cast<uint8_t>(code3)},
      transformFlag(flag ? 1 : 0) {
  for (uint32_t i = 0; i < fieldCount; ++i)
    mapping.push_back(OperandMapping{fields[i].length, fields[i].source, fields[i].destination});
  for (const OperandTransform* t = transforms; t && t->kind != OperandTransform::kEnd; ++t) {
    if (t->kind != transform::kValueCode) continue;
    uint32_t code = static_cast<uint32_t>(t->a);
    if (std::find(values.begin(), values.end(), code) == values.end()) values.push_back(code);
  }
}

void OperandEncoding::copyFrom(const OperandEncoding& other) {
  expression = other.expression;
  context = other.context;
  mask = other.mask;
  expect = other.expect;
  std::copy(other.relocFunction, other.relocFunction + 3, relocFunction);
  callback = other.callback;
  transformFlag = other.transformFlag;
  std::copy(other.status, other.status + 3, status);
  marker = other.marker;
  values = other.values;
  mapping = other.mapping;
}

void OperandEncoding::remapBits(uint32_t count, const OperandMapping* triples) {
  // Where each sub-encoding bit came from, and where each value bit goes.
  int16_t sourceOfBit[kImageBits];
  int16_t targetOfBit[kImageBits];
  std::fill(std::begin(sourceOfBit), std::end(sourceOfBit), -1);
  for (const OperandMapping& run : mapping) {
    if (run.destination + run.length > kImageBits) encodingFault(__LINE__, "operand run outside the encoding");
    for (uint32_t i = 0; i < run.length; ++i)
      sourceOfBit[run.destination + i] = static_cast<int16_t>(run.source + i);
  }
  mapping.clear();
  std::fill(std::begin(targetOfBit), std::end(targetOfBit), -1);
  for (uint32_t t = 0; t < count; ++t) {
    const OperandMapping& triple = triples[t];
    if (triple.source + triple.length > kImageBits || triple.destination + triple.length > kImageBits)
      encodingFault(__LINE__, "operand run outside the encoding");
    for (uint32_t i = 0; i < triple.length; ++i) {
      int32_t from = sourceOfBit[triple.source + i];
      if (from >= 0) targetOfBit[from] = static_cast<int16_t>(triple.destination + i);
    }
  }
  uint32_t p = 0;
  while (p < kImageBits) {
    if (targetOfBit[p] < 0) {
      ++p;
      continue;
    }
    uint32_t k = 1;
    while (p + k < kImageBits && targetOfBit[p + k] == targetOfBit[p] + static_cast<int32_t>(k)) ++k;
    mapping.push_back(
        OperandMapping{static_cast<uint8_t>(k), static_cast<uint8_t>(p), static_cast<uint8_t>(targetOfBit[p])});
    p += k;
  }
}

// ---------------------------------------------------------------------------------------

Encoding::Encoding(uint32_t width, const OpcodeTemplate* opcode) : bits(static_cast<uint8_t>(width)) {
  uint32_t words = opcode ? std::min<uint32_t>(opcode->count, 7) : 0;
  for (uint32_t i = 0; i < words; ++i) image[7 - i] = opcode->words[words - 1 - i];
}

Encoding::~Encoding() {
  for (OperandEncoding* field : operands) delete field;
  CandidateNodes::release(nodes);
}

Encoding* Encoding::copy() const {
  auto* result = new Encoding(bits, nullptr);
  std::copy(std::begin(image), std::end(image), result->image);
  for (const OperandEncoding* field : operands) {
    auto* twin = new OperandEncoding();
    twin->copyFrom(*field);
    result->operands.push_back(twin);
  }
  result->nodes = nodes != nullptr ? nodes->retain() : nullptr;
  return result;
}

bool Encoding::bit(uint32_t position) const {
  if (position >= kImageBits) return false;
  return (image[7 - position / 32] >> (position % 32)) & 1u;
}

void Encoding::orBitsAcrossWords(uint64_t value, uint32_t length, uint32_t source, uint32_t destination) {
  uint32_t width = bits ? bits : kImageBits;
  if (length == 0) return;
  if (source + length > 64 || destination + length > width)
    encodingFault(__LINE__, "operand field outside the encoding");
  uint64_t field = (value >> source) & (length == 64 ? ~0ull : ((1ull << length) - 1));
  if (destination % 32 + length <= 32) {
    image[7 - destination / 32] |= static_cast<uint32_t>(field) << (destination % 32);
    return;
  }
  uint32_t t = destination;
  uint32_t remaining = length;
  while (remaining) {
    uint32_t run = std::min(remaining, 32 - t % 32);
    uint32_t part = static_cast<uint32_t>(field & ((run == 32) ? 0xFFFFFFFFull : ((1ull << run) - 1)));
    image[7 - t / 32] |= part << (t % 32);
    field >>= run;
    t += run;
    remaining -= run;
  }
}

void Encoding::orImageBits(const Encoding& from, uint32_t length, uint32_t source, uint32_t destination) {
  uint32_t width = bits ? bits : kImageBits;
  if (source + length > kImageBits || destination + length > width)
    encodingFault(__LINE__, "operand field outside the encoding");
  for (uint32_t i = 0; i < length; ++i)
    if (from.bit(source + i)) image[7 - (destination + i) / 32] |= 1u << ((destination + i) % 32);
}

void Encoding::addOperand(LineInfo* line, uint32_t fieldCount, const OperandMapping* fields, OrbaExpression* value,
                          const OperandTransform* transforms, const FieldConstant* mask,
                          const FieldConstant* expectValue, uint32_t code1, uint32_t code2, uint32_t code3,
                          bool transformFlag, PostEncodeCallback callback) {
  if (!value) return;
  bool now = value->getKind() == EK_integer && !callback && !transformFlag;
  if (now && mask && expectValue && mask->kind == 1 && expectValue->kind == 1)
    now = (static_cast<uint32_t>(value->getInteger()) & mask->value) == expectValue->value;
  if (!now) {
    operands.push_back(new OperandEncoding(&value, transforms, fieldCount, fields, mask, expectValue, code1, code2,
                                           code3, transformFlag, callback, line));
    return;
  }
  // Sections of this assembler have 8-bit units, so value bit k is buffer bit k.
  uint64_t bitsOfValue = static_cast<uint64_t>(value->getInteger());
  for (uint32_t i = 0; i < fieldCount; ++i) orBits(bitsOfValue, fields[i].length, fields[i].source, fields[i].destination);
}

// ---------------------------------------------------------------------------------------

IPInstruction::~IPInstruction() {
  // Copies hold claims of their own on the nodes they share with this candidate.
  delete encoding;
  IPAttribute::release(attributes);
}

IPInstruction* IPInstruction::copy() const {
  auto* result = new IPInstruction();
  result->excluded = excluded;
  result->count = count;
  result->encoding = encoding != nullptr ? encoding->copy() : nullptr;
  result->cycles = cycles;
  result->alignment = alignment;
  result->alternative = alternative;
  result->attributes = attributes != nullptr ? attributes->copy() : nullptr;
  return result;
}

int64_t IPInstruction::size(const Section* section, uint32_t offset) const {
  int64_t skip = 0;
  if (alignment >= 1) {
    const char* text = nullptr;
    skip = std::max<int32_t>(0, computeAlignPadding(section, offset, alignment, false, &text));
  }
  int64_t units = 0;
  if (encoding) {
    int32_t unit = static_cast<int32_t>(addressUnitBits(section));
    int32_t computed = (static_cast<int32_t>(encoding->bits) + unit - 1) / unit;
    if (computed > 0) units = computed;
  }
  return skip + units;
}

uint32_t addressUnitBits(const Section*) {
  // Sections are made with 8-bit units; a width of its own joins the section record later.
  return 8;
}

int32_t alignPaddingAt(int64_t address, int32_t alignment, bool powerOfTwo, const char** text) {
  if (alignment < 1) return 0;
  int64_t a = alignment;
  if (powerOfTwo) {
    int64_t p = 1;
    while (p < a) p *= 2;
    // A power above the i32 range cannot be an alignment of this section.
    if (p > INT32_MAX) return -1;
    if (p != a) {
      if (text) *text = errorHandler()->formatMessage(W_invalid_2k_align, static_cast<int>(p));
      a = p;
    }
  }
  // The remainder is taken non-negative, so that addresses below 0 pad forward too.
  int64_t r = ((address % a) + a) % a;
  return r == 0 ? 0 : static_cast<int32_t>(a - r);
}

int32_t computeAlignPadding(const Section* section, uint32_t offset, int32_t alignment, bool powerOfTwo,
                            const char** text) {
  int64_t address = offset;
  if (section && section->hasAddress && section->baseExpression() &&
      section->baseExpression()->getKind() == EK_integer)
    address += section->baseExpression()->getInteger();
  return alignPaddingAt(address, alignment, powerOfTwo, text);
}
