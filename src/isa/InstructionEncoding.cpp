#include "isa/InstructionEncoding.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "expr/OrbaExpression.h"
#include "expr/TEFunction.h"
#include "expr/TETricoreFunction.h"
#include "expr/functions.h"
#include "flow/DataEncoder.h"
#include "flow/FConstant.h"
#include "flow/ObjectStore.h"
#include "flow/ObjectWriter.h"
#include "flow/Section.h"
#include "flow/Symbol.h"
#include "isa/IPAttribute.h"
#include "isa/IPInstruction.h"
#include "util/ControlState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaState.h"

namespace isa {

namespace {

// The plain 32-bit kind of FieldConstant.
constexpr uint32_t kPlainConstant = 1;

// The flags of OperandEncoding::status.
enum StatusByte { kMemoValid = 0, kMemoNeedsRelocation = 1 };

int32_t callCode(const OrbaExpression* expression) {
  if (!expression) return -1;
  uint32_t kind = expression->getKind();
  if (kind != EK_function && kind != EK_tricoreFunction) return -1;
  return static_cast<const TEFunction*>(expression)->code();
}

OrbaExpression* firstArgument(OrbaExpression* call) {
  return call->getArgumentCount() > 0 ? call->getArgument(0) : call;
}

// A reference from a debug section to a private absolute section: its value goes to the
// object file, which keeps such sections apart.
bool isPrivateDebugReference(const OrbaExpression* expression, const Section* section) {
  if (!section || section->type != Section::kDebug || !expression || expression->getKind() != EK_symbol)
    return false;
  const Symbol* symbol = expression->getSymbol();
  const Section* target = symbol ? symbol->section : nullptr;
  if (!target || !target->hasAddress || !target->name()) return false;
  const char* name = target->name();
  if (*name == '.') ++name;
  for (const char* dot = std::strchr(name, '.'); dot; dot = std::strchr(dot + 1, '.'))
    if (std::strncmp(dot, ".private", 8) == 0) return true;
  return false;
}

// The field's value function as the validator calls it.
OrbaExpression* applyValueFunction(void* context, OrbaExpression* value) {
  const auto* operand = static_cast<const OperandEncoding*>(context);
  OrbaExpression* argument = value;
  return operand->callback(operand->context, &argument);
}

uint32_t unitBitsOf(const Section* section) {
  return section && section->mauBits > 0 ? static_cast<uint32_t>(section->mauBits) : 8u;
}

// The 256-bit instruction image, most significant word first.
struct Image {
  uint32_t words[8] = {};
  // Bits source.. of value into destination.., a piece per image word.
  void orValue(uint64_t value, uint32_t width, uint32_t source, uint32_t destination) {
    for (uint32_t i = 0; i < width;) {
      const uint32_t from = source + i;
      const uint32_t to = destination + i;
      if (from >= 64 || to >= kImageBits) break;
      const uint32_t piece = std::min({width - i, 64 - from, 32 - to % 32});
      const uint64_t bits = (value >> from) & ((uint64_t{1} << piece) - 1);
      words[7 - to / 32] |= static_cast<uint32_t>(bits) << (to % 32);
      i += piece;
    }
  }
};

struct PendingRelocation {
  OrbaExpression* expression;
  uint32_t type;
  uint32_t fieldOffset;
  uint32_t fieldBytes;
};

// A pc-relative target that is a number beyond 32 bits: the jump reaches its low 32 bits,
// as its distance is measured, and says so as any value cut to fit does.
void warnTruncatedTarget(const OperandEncoding& operand, const Section* section) {
  if (!section || !section->hasAddress || !operand.expression) return;
  OrbaExpression* check = operand.expression;
  const int32_t code = callCode(check);
  if (code == FN_RANGE || code == FN_WRANGE) check = firstArgument(check);
  if (callCode(check) != FN_PCREL || check->getArgumentCount() == 0) return;
  OrbaExpression* written = check->getArgument(0);
  // A label of the section lies in it: nearly every jump, which needs no value made.
  int64_t offset = 0;
  if (written->getKind() == EK_symbol && labelOffsetInSection(written->getSymbol(), *section, offset)) return;
  OrbaExpression* target = written->evaluate();
  if (!target || target->getKind() != EK_integer) return;
  const int64_t address = target->getInteger();
  if (address < INT32_MIN || address > static_cast<int64_t>(UINT32_MAX))
    errorHandler()->report(W_integer_value_truncated, operand.context, 32);
}

// The operand's bits in the image; false when its value is left to a relocation.
bool packOperandValue(OperandEncoding& operand, uint32_t bitCount, const Section* section, Image& out) {
  if (!operand.expression || operandNeedsRelocation(operand, section)) return false;
  OrbaExpression* written = operand.expression;
  if (operand.callback) {
    OrbaExpression* argument = written;
    written = operand.callback(operand.context, &argument);
    if (!written) return false;
  }
  OrbaExpression* value = written->evaluate();
  bool rangeDue = false;
  int64_t low = 0;
  int64_t high = 0;
  if (value && value->isError() && callCode(written) == FN_WRANGE && written->getArgumentCount() >= 3) {
    // A warning range keeps the value that breaks its bounds.
    OrbaExpression* lowValue = written->getArgument(1)->evaluate();
    OrbaExpression* highValue = written->getArgument(2)->evaluate();
    rangeDue = lowValue && highValue && !exprargs::integerValue(lowValue, low) &&
               !exprargs::integerValue(highValue, high);
    value = written->getArgument(0)->evaluate();
  }
  if (value && value->isError() && value->getErrorKind() == ERR_range && callCode(written) == FN_RANGE) {
    // The check found its value and it lies outside the field. A layout that chose the
    // form before its target was placed lets this through; a relocation would only hand
    // the linker a field that cannot hold it.
    OrbaExpression* checked = nullptr;
    if (reportRangeDiagnostic(*static_cast<TEFunction*>(written), checked)) return true;
  }
  if (!value || value->isError()) return false;
  uint64_t bits = 0;
  bool isInteger = value->getKind() == EK_integer || value->getKind() == EK_string;
  int64_t number = 0;
  if (isInteger && exprargs::integerValue(value, number) == nullptr) {
    if (rangeDue && (number < low || number > high)) {
      if (low < 0)
        errorHandler()->report(W_range_error_dec, operand.context, low, high);
      else
        errorHandler()->report(W_range_error_hex, operand.context, low, high);
    }
    bits = bitCount >= 64 ? static_cast<uint64_t>(number)
                          : static_cast<uint64_t>(number) & ((uint64_t{1} << bitCount) - 1);
    if (operand.mask && operand.expect && operand.mask->kind == kPlainConstant &&
        operand.expect->kind == kPlainConstant &&
        (static_cast<uint32_t>(bits) & operand.mask->value) != operand.expect->value)
      errorHandler()->report(E_incompatible_instruction_expression, operand.context);
  } else {
    isInteger = false;
  }
  if (isInteger)
    for (const OperandMapping& run : operand.mapping) out.orValue(bits, run.length, run.source, run.destination);
  return true;
}

void markField(const OperandEncoding& operand, Image& mask) {
  for (const OperandMapping& run : operand.mapping) mask.orValue(~uint64_t{0}, run.length, 0, run.destination);
}

// The form's bits with the operand values in `constants` into the section at location,
// and into the line's listing bytes when the line is listed.
void storeEncoding(ObjectWriter& writer, const IPInstruction& form, const Image& constants, const Image& relocated,
                   uint32_t location, LineInfo* line) {
  Section* section = writer.section;
  const uint32_t bitCount = form.encoding->bits;
  const uint32_t unitBits = unitBitsOf(section);
  const uint32_t units = std::max(1u, (bitCount + unitBits - 1) / unitBits);
  const uint32_t byteCount = std::clamp((units * unitBits + 7) / 8, 1u, 32u);
  const uint32_t bytesPerUnit = std::max(1u, (unitBits + 7) / 8);
  uint8_t bytes[32] = {};
  uint8_t masks[32] = {};
  for (uint32_t k = 0; 8 * k < bitCount && k < byteCount; ++k) {
    const uint32_t word = 7 - k / 4;
    const uint32_t shift = 8 * (k % 4);
    bytes[byteCount - 1 - k] = static_cast<uint8_t>((form.encoding->image[word] | constants.words[word]) >> shift);
    masks[byteCount - 1 - k] = static_cast<uint8_t>(relocated.words[word] >> shift);
  }
  if (section->byteOrder == Section::kLittleEndian) {
    reverseUnits(bytes, byteCount, bytesPerUnit);
    reverseUnits(masks, byteCount, bytesPerUnit);
  }
  if (static_cast<uint64_t>(location) + byteCount / bytesPerUnit > section->size)
    reportObjectStoreError(writer.store(), ObjectStore::kDataTooLarge);
  storeImageUnits(byteCount, bytes, kUnitMostSignificantFirst, unitBits, section->imageUnit(location));
  if (line && line->controlState && line->controlState->listCounter > 0)
    appendListingBytes(line, bytes, masks, byteCount);
}

}  // namespace

bool operandNeedsRelocation(OperandEncoding& operand, const Section* section) {
  if (operand.status[kMemoValid]) return operand.status[kMemoNeedsRelocation] != 0;
  const OrbaExpression* expression = operand.expression;
  bool needs = false;
  if (!expression)
    needs = false;
  else if (expression->isRelocatable())
    needs = true;
  else if (expression->countSymbolReferences() == 0)
    needs = false;
  else if (operand.transformFlag)
    needs = true;
  else
    needs = isPrivateDebugReference(expression, section);
  operand.status[kMemoValid] = 1;
  operand.status[kMemoNeedsRelocation] = needs ? 1 : 0;
  return needs;
}

uint8_t operandFieldWidth(const OperandEncoding& operand) {
  uint32_t width = 0;
  for (const OperandMapping& run : operand.mapping) width += run.length;
  return static_cast<uint8_t>(width);
}

ExpressionValidator::Operand validatorOperand(const OperandEncoding& operand) {
  ExpressionValidator::Operand check;
  check.acceptedTypes = operand.values.begin();
  check.acceptedCount = static_cast<uint32_t>(operand.values.size());
  if (operand.mask && operand.expect && operand.mask->kind == kPlainConstant &&
      operand.expect->kind == kPlainConstant) {
    check.maskWords = &operand.mask->value;
    check.bitWords = &operand.expect->value;
    check.conditionWords = 1;
  }
  if (operand.callback) {
    check.transform = applyValueFunction;
    check.transformContext = const_cast<OperandEncoding*>(&operand);
  }
  check.line = operand.context;
  return check;
}

OrbaExpression* stripRangeWrapper(OrbaExpression* expression) {
  int32_t code = callCode(expression);
  if (code == FN_RANGE || code == FN_WRANGE) expression = firstArgument(expression);
  code = callCode(expression);
  if (code == FN_INPAGE || code == FN_PAGESIZE || code == FN_PCREL) expression = firstArgument(expression);
  return expression;
}

OrbaExpression* refineRelocationKind(OrbaExpression* expression, uint32_t& relocationType,
                                     const IPAttribute* attributes) {
  OrbaExpression* top = stripRangeWrapper(expression);
  int32_t code = callCode(top);
  if (code != FN_HIS && code != FN_LO && code != FN_LOS) return expression;
  int64_t format = -1;
  if (attributes && attributes->listCount() > 0) {
    for (const IPAttr* entry : attributes->list(attributes->listCount() - 1)) {
      if (!entry || entry->id != ATTR_opcodeformat) continue;
      if (entry->value && entry->value->getKind() == EK_integer) format = entry->value->getInteger();
      break;
    }
  }
  uint32_t refined = 0;
  if (code == FN_HIS && format == 2) refined = 6;
  if ((code == FN_LO || code == FN_LOS) && format == 1) refined = 8;
  if ((code == FN_LO || code == FN_LOS) && format == 2) refined = 7;
  if (refined == 0) return expression;
  relocationType = refined;
  return firstArgument(top);
}

bool constantOperandRulesOut(IPInstruction& form, Section* section, ExpressionValidator& validator) {
  if (!form.encoding) return false;
  for (OperandEncoding* operand : form.encoding->operands) {
    OrbaExpression* expression = operand->expression;
    // Only a value that no layout and no link can change is judged now.
    if (!expression || operand->callback || operand->transformFlag || expression->isRelocatable() ||
        expression->countSymbolReferences() != 0)
      continue;
    validator.init(section, 0, 0);
    if (validator.validate(expression, validatorOperand(*operand)) == 0) return true;
  }
  return false;
}

void encodeInstruction(ObjectWriter& writer, IPInstruction& form, LineInfo* line) {
  Section* section = writer.section;
  const uint32_t bitCount = form.encoding ? form.encoding->bits : 0;
  const uint32_t unitBits = unitBitsOf(section);
  const uint32_t units = std::max(1u, (bitCount + unitBits - 1) / unitBits);
  const uint32_t byteCount = std::clamp((units * unitBits + 7) / 8, 1u, 32u);
  const uint32_t bytesPerUnit = std::max(1u, (unitBits + 7) / 8);
  if (!section || !section->image) {
    errorHandler()->report(E_no_instruction_allocation, line);
    setLineSize(line, units);
    if (section) section->locationCounter += static_cast<int32_t>(units);
    return;
  }
  const auto location = static_cast<uint32_t>(section->currentLocation());

  Image constants;
  Image relocated;
  std::vector<PendingRelocation> relocations;
  for (OperandEncoding* operand : form.encoding->operands) {
    warnTruncatedTarget(*operand, section);
    if (packOperandValue(*operand, bitCount, section, constants)) continue;
    markField(*operand, relocated);
    if (!operand->expression) continue;
    uint32_t type = operand->relocFunction[0];
    OrbaExpression* carried = refineRelocationKind(stripRangeWrapper(operand->expression), type, form.attributes);
    if (type == 0) {
      errorHandler()->report(E_invalid_object_expression, operand->context);
      continue;
    }
    relocations.push_back({carried, type, operand->relocFunction[1], operand->relocFunction[2]});
  }

  storeEncoding(writer, form, constants, relocated, location, line);

  ObjectStore& store = writer.store();
  for (const PendingRelocation& relocation : relocations) {
    if (!isSimpleRelocation(relocation.expression, line)) {
      errorHandler()->report(E_invalid_object_expression, line);
      continue;
    }
    ExprNode* converted = emitExpressionValue(relocation.expression, writer, line, 0);
    uint32_t status = 0;
    const uint32_t fieldUnits = (relocation.fieldBytes ? relocation.fieldBytes : byteCount) / bytesPerUnit;
    if (store.imageAddRelocation(section->objectHandle[0], section->objectHandle[1], location + relocation.fieldOffset,
                                 fieldUnits, converted, relocation.type, &status))
      reportObjectStoreError(store, status);
    store.releaseExpression(converted);
  }
  section->locationCounter = static_cast<int32_t>(location + units);
}

bool formWordWithField(const IPInstruction& form, uint32_t field, int64_t value, uint32_t& word) {
  const Encoding* encoding = form.encoding;
  const OperandEncoding* target = encoding && field < encoding->operands.size() ? encoding->operands[field] : nullptr;
  const uint32_t bits = encoding ? encoding->bits : 0;
  if (!target || (bits != 16 && bits != 32)) return false;
  // The image's lowest word holds a form of up to 32 bits; the others stay clear.
  uint32_t above = 0;
  for (uint32_t w = 0; w < 7; ++w) above |= encoding->image[w];
  if (above != 0) return false;
  const uint64_t fieldBits = static_cast<uint64_t>(value) & ((uint64_t{1} << bits) - 1);
  uint32_t made = encoding->image[7];
  for (const OperandMapping& run : target->mapping) {
    if (run.length == 0 || run.source + run.length > bits || run.destination + run.length > bits) return false;
    made |= static_cast<uint32_t>((fieldBits >> run.source) & ((uint64_t{1} << run.length) - 1)) << run.destination;
  }
  word = made;
  return true;
}

bool encodeWithTargetValue(ObjectWriter& writer, IPInstruction& form, uint32_t targetField, int64_t value,
                           LineInfo* line) {
  Section* section = writer.section;
  if (!section || !section->image || !form.encoding || form.encoding->bits == 0 ||
      targetField >= form.encoding->operands.size())
    return false;
  const uint32_t bitCount = form.encoding->bits;
  const uint64_t bits = bitCount >= 64 ? static_cast<uint64_t>(value)
                                       : static_cast<uint64_t>(value) & ((uint64_t{1} << bitCount) - 1);
  const OperandEncoding& target = *form.encoding->operands[targetField];
  // A value the field's condition refuses is reported by the general way.
  if (target.mask && target.expect && target.mask->kind == kPlainConstant && target.expect->kind == kPlainConstant &&
      (static_cast<uint32_t>(bits) & target.mask->value) != target.expect->value)
    return false;
  Image constants;
  Image relocated;
  for (uint32_t k = 0; k < form.encoding->operands.size(); ++k) {
    const OperandEncoding& operand = *form.encoding->operands[k];
    if (k != targetField) {
      markField(operand, relocated);
      continue;
    }
    for (const OperandMapping& run : operand.mapping) constants.orValue(bits, run.length, run.source, run.destination);
  }
  const uint32_t unitBits = unitBitsOf(section);
  const uint32_t units = std::max(1u, (bitCount + unitBits - 1) / unitBits);
  const auto location = static_cast<uint32_t>(section->currentLocation());
  storeEncoding(writer, form, constants, relocated, location, line);
  section->locationCounter = static_cast<int32_t>(location + units);
  return true;
}

}  // namespace isa
