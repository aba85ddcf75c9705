#include "expr/ExprActions.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "util/ErrorHandler.h"
#include "util/RunSettings.h"
#include "util/OrbaState.h"
#include "expr/ExprParser.h"
#include "expr/TEBinary.h"
#include "expr/TEDouble.h"
#include "expr/TEError.h"
#include "expr/TEFunction.h"
#include "expr/TEInteger.h"
#include "expr/TEString.h"
#include "expr/TESymbol.h"
#include "expr/TEUnary.h"
#include "expr/lex_util.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "flow/TempLabels.h"
#include "util/ControlState.h"
#include "util/LineInfo.h"
#include "util/StringBuffer.h"
#include "util/c-memory.h"
#include "util/RunState.h"

namespace {

constexpr const char* kIllegalInteger = "illegal integer constant";
constexpr const char* kIntegerRange = "integer constant out of range";
constexpr const char* kIllegalFloat = "illegal float constant";
constexpr const char* kFloatRange = "floating point constant out of range";
constexpr const char* kExpectedCpuName = "expected CPU name";

struct ActionState {
  LocationLabelMaker locationLabelMaker = makeLocationCounterLabel;
  char* scratch = nullptr;
  size_t scratchCapacity = 0;
  ~ActionState() { std::free(scratch); }
};
ActionState& actionState() { return runPart<ActionState>(); }

// One growable scratch buffer for decoded literals and generated names.

char* scratchOf(size_t size) {
  if (size > actionState().scratchCapacity) {
    actionState().scratchCapacity = size * 2;
    actionState().scratch = static_cast<char*>(xrealloc(actionState().scratch, actionState().scratchCapacity));
  }
  return actionState().scratch;
}

void internalCheck(bool holds, int line, const char* text) {
  if (!holds) errorHandler()->reportWithoutLocation(S_should_not_happen, "lex_util", line, text);
}

// Whether the text names the processor selected for this run; an unknown name maps
// to id 0, which no selection has.
bool isSelectedCpu(const char* name) {
  int32_t id = cpuNameToId(name);
  return id != 0 && id == orbaOptions()->cpuId;
}

int32_t listLevelOf(const LineInfo* line) {
  // A line without a control state has the initial listing level.
  if (line == nullptr || line->controlState == nullptr) return ControlState().listCounter;
  return line->controlState->listCounter;
}

OrbaExpression* listLevelFunction() {
  return TEInteger::create(listLevelOf(exprParseState().scanner->line));
}

OrbaExpression* cpuFunction(OrbaExpression* argument) {
  if (argument != nullptr && argument->getKind() == EK_string && argument->getString() != nullptr) {
    bool selected = isSelectedCpu(argument->getString());
    releaseTempExpression(argument);
    return TEInteger::create(selected ? 1 : 0);
  }
  releaseTempExpression(argument);
  exprStoreMessage(kExpectedCpuName, false);
  return TEInteger::create(0);
}

}  // namespace

void setLocationLabelMaker(LocationLabelMaker maker) {
  actionState().locationLabelMaker = maker ? maker : makeLocationCounterLabel;
}

void exprStoreMessage(const char* text, bool setErrorFlag) {
  if (exprParseState().message == nullptr) exprParseState().message = text;
  if (setErrorFlag) exprParseState().errorFlag = true;
}

uint64_t convertIntegerLiteral() {
  if (exprParseState().message != nullptr) return 0;
  uint32_t length = 0;
  const char* text = tokenText(exprParseState().scanner, &length);
  const char* end = text;
  bool overflow = false;
  uint64_t value = parseUnsigned64(text, &end, exprParseState().scanner->radix, &overflow);
  const char* message = nullptr;
  if (end != text + length) {
    value = 0;
    message = kIllegalInteger;
  }
  if (overflow) message = kIntegerRange;
  if (message != nullptr) exprStoreMessage(message, true);
  return value;
}

double convertFloatLiteral() {
  uint32_t length = 0;
  const char* text = tokenText(exprParseState().scanner, &length);
  char* end = nullptr;
  errno = 0;
  double value = std::strtod(text, &end);
  const char* message = nullptr;
  if (end != text + length) message = kIllegalFloat;
  if (errno == ERANGE || std::fpclassify(value) == FP_SUBNORMAL) message = kFloatRange;
  if (message != nullptr) exprStoreMessage(message, true);
  return value;
}

const char* convertStringLiteral(uint32_t* length) {
  const ExprScanner* scanner = exprParseState().scanner;
  const char* start = scanner->tokenStart;
  const char* end = scanner->tokenEnd;
  internalCheck(start != nullptr, __LINE__, "start");
  internalCheck(end != nullptr, __LINE__, "end");
  internalCheck(end >= start, __LINE__, "end >= start");
  auto quote = static_cast<uint8_t>(start[-1]);
  char* decoded = scratchOf(static_cast<size_t>(end - start) + 1);
  uint32_t count = 0;
  for (const char* position = start; position < end; ++position)
    decoded[count++] = static_cast<char>(decodeLiteralChar(scanner, &position, end, quote));
  decoded[count] = '\0';
  *length = count;
  return decoded;
}

OrbaExpression* makeIntegerLiteral() {
  return TEInteger::create(static_cast<int64_t>(convertIntegerLiteral()));
}

OrbaExpression* makeFloatLiteral() { return TEDouble::create(convertFloatLiteral()); }

OrbaExpression* makeStringLiteral() {
  uint32_t length = 0;
  const char* text = convertStringLiteral(&length);
  return TEString::create(text, length);
}

OrbaExpression* makeSymbolReference() {
  const ExprScanner* scanner = exprParseState().scanner;
  const char* name = stringBuffer()->internRange(scanner->tokenStart, scanner->cursor);
  // A source name spelt like a generated label would later be taken for that label or
  // collide with it; it makes no symbol.
  if (refuseTempLabelName(name, scanner->line)) return TEError::create(ERR_generic);
  Symbol* symbol = symbolTable()->referenceSymbol(name, scanner->line);
  if (symbol->isSet() && symbol->valueExpression != nullptr) {
    exprParseState().keep = true;
    return symbol->valueExpression->clone();
  }
  return TESymbol::create(symbol);
}

OrbaExpression* makeLocalLabelReference() {
  const ExprScanner* scanner = exprParseState().scanner;
  const char* start = scanner->tokenStart;
  const char* letter = scanner->cursor - 1;
  const char* digits = stringBuffer()->internRange(start, letter);
  uint32_t count = symbolTable()->localLabelCount(digits);
  uint32_t number = count;
  if (count == 0)
    number = 1;
  else if (*letter == 'n' || *letter == 'N')
    number = count + 1;

  int digitCount = static_cast<int>(letter - start);
  size_t size = static_cast<size_t>(digitCount) + 16;
  char* name = scratchOf(size);
  std::snprintf(name, size, "__NL%06u_%*.*s", number, digitCount, digitCount, start);
  Symbol* symbol = symbolTable()->referenceSymbol(stringBuffer()->intern(name), scanner->line);
  symbol->flags[0] |= Symbol::kInternal;
  return TESymbol::create(symbol);
}

OrbaExpression* makeLocationCounterReference() {
  if (exprParseState().preprocessor) return TEError::kind17();
  LineInfo* line = exprParseState().scanner->line;
  Symbol* label = actionState().locationLabelMaker(line);
  // Without a label the operand has no place to stand for.
  if (label == nullptr) return TEError::kind5();
  return TESymbol::create(label);
}

OrbaExpression* makeUnaryPlus(OrbaExpression* operand) { return new TEUnary(OP_plus, operand); }
OrbaExpression* makeLogicalNot(OrbaExpression* operand) {
  return new TEUnary(OP_logicalNot, operand);
}
OrbaExpression* makeNegate(OrbaExpression* operand) { return new TEUnary(OP_negate, operand); }
OrbaExpression* makeComplement(OrbaExpression* operand) {
  return new TEUnary(OP_complement, operand);
}

OrbaExpression* makeBinary(int32_t op, OrbaExpression* left, OrbaExpression* right) {
  if (left != nullptr && right != nullptr) {
    if (OrbaExpression* folded = foldBinaryOperation(op, left, right)) {
      if (!exprParseState().keep) {
        releaseTempExpression(left);
        if (right != left) releaseTempExpression(right);
      }
      return folded;
    }
  }
  return new TEBinary(op, left, right);
}

OrbaExpression* makeConditional(OrbaExpression* condition, OrbaExpression* ifTrue,
                                OrbaExpression* ifFalse) {
  OrbaExpression* arguments[3] = {condition, ifTrue, ifFalse};
  return TEFunction::create(FN_CONDITIONAL, arguments, 3);
}

void beginArguments() {
  exprParseState().argumentBases.push_back(exprParseState().arguments.size());
  ++exprParseState().scanner->callDepth;
}

void pushArgument(OrbaExpression* argument) {
  // Only a failed parse leaves an argument without a node, and then the message
  // is stored already.
  if (argument != nullptr) exprParseState().arguments.push_back(argument);
}

OrbaExpression* makeFunction(int32_t code, int32_t minArgs, int32_t maxArgs,
                             FunctionBuilder builder) {
  size_t base = exprParseState().argumentBases.empty() ? exprParseState().arguments.size()
                                                 : exprParseState().argumentBases.back();
  OrbaExpression* const* arguments = exprParseState().arguments.data() + base;
  size_t count = exprParseState().arguments.size() - base;

  OrbaExpression* node = nullptr;
  if (count < static_cast<size_t>(minArgs)) {
    node = TEError::kind12();
  } else if (maxArgs != -1 && count > static_cast<size_t>(maxArgs)) {
    node = TEError::kind13();
  } else {
    switch (builder) {
      case FunctionBuilder::General:
        node = TEFunction::create(code, arguments, count);
        break;
      case FunctionBuilder::Target:
        node = TETricoreFunction::create(code, arguments, count);
        break;
      case FunctionBuilder::Cpu:
        node = cpuFunction(count > 0 ? arguments[0] : nullptr);
        break;
      case FunctionBuilder::ListLevel:
        node = listLevelFunction();
        break;
    }
  }
  exprParseState().arguments.resize(base);
  if (!exprParseState().argumentBases.empty()) exprParseState().argumentBases.pop_back();
  --exprParseState().scanner->callDepth;
  return node;
}
