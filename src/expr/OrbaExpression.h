// The expression tree node interface. Every operand, data value, symbol value and
// condition is a tree of OrbaExpression nodes; value leaves that are safe to share
// are interned, operand pointers never own what they point to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>

struct MemPool;
struct LineInfo;
struct ExprNode;
class Symbol;
class Section;
class ObjectFile;

// The handle of the run's pool of every expression node, registered as "OrbaExpression"
// at the first node.
MemPool*& expressionPool();

// Node kind codes, the result of getKind.
enum ExprKind : uint32_t {
  EK_expression = 0,
  EK_integer = 1,
  EK_double = 2,
  EK_error = 3,
  EK_fract = 4,
  EK_string = 5,
  EK_symbol = 6,
  EK_unary = 7,
  EK_binary = 8,
  EK_function = 9,
  EK_relocation = 10,
  EK_postEncode = 11,
  EK_section = 12,
  EK_lineInfo = 13,
  EK_tricoreFunction = 14,
};

// Operator codes; they share one code space with the @-functions.
enum ExprOperator : int32_t {
  OP_add = 3,
  OP_logicalAnd = 4,
  OP_bitAnd = 8,
  OP_bitOr = 10,
  OP_bitXor = 11,
  OP_concat = 17,
  OP_divide = 24,
  OP_equal = 25,
  OP_greaterEqual = 31,
  OP_greater = 32,
  OP_lessEqual = 43,
  OP_less = 52,
  OP_remainder = 56,
  OP_multiply = 58,
  OP_notEqual = 59,
  OP_logicalOr = 60,
  OP_shiftLeft = 71,
  OP_shiftRight = 72,
  OP_subtract = 80,
  OP_complement = 84,
  OP_negate = 85,
  OP_logicalNot = 86,
  OP_plus = 87,
};

// Error kinds of TEError nodes; TEError::kindText gives their texts.
enum ExprErrorKind : uint32_t {
  ERR_none = 0,
  ERR_generic = 1,
  ERR_argument = 2,
  ERR_argumentCount = 3,
  ERR_argumentIndex = 4,
  ERR_cannotEvaluate = 5,
  ERR_unsupportedFunction = 6,
  ERR_range = 7,
  ERR_divideByZero = 8,
  ERR_floatingPoint = 9,
  ERR_expectedInteger = 10,
  ERR_expectedString = 11,
  ERR_missingArguments = 12,
  ERR_additionalArguments = 13,
  ERR_substringStart = 14,
  ERR_substringLength = 15,
  ERR_symbolHasNoValue = 16,
  ERR_locationCounterInPreprocessor = 17,
  ERR_text = 18,  // the node's extra word holds the text
};

// The location value of an expression during layout.
struct ExprValue {
  enum Kind : uint32_t { kNone = 0, kRelative = 1, kAbsolute = 2 };

  uint32_t kind = kNone;
  const char* errorText = nullptr;  // interned, formatted diagnostic text after a failure
  uint32_t unit = 1;
  bool known = false;
  int64_t value = 0;           // kAbsolute
  Section* section = nullptr;  // kRelative
  int64_t offset = 0;          // kRelative

  void init() {
    kind = kNone;
    errorText = nullptr;
    unit = 1;
    known = false;
  }
};

// Where the layout pass stands when it asks for a location value.
struct ExprLocation {
  Section* section = nullptr;
  int64_t address = 0;
  int64_t sectionStart = 0;
};

// Print mode bit that makes a symbol show its value expression.
constexpr unsigned kPrintSymbolValues = 0x2;

class OrbaExpression {
 public:
  OrbaExpression() = default;
  OrbaExpression(const OrbaExpression&) = delete;
  OrbaExpression& operator=(const OrbaExpression&) = delete;

  // Nodes come from the expression pool; a failed allocation yields a null node.
  static void* operator new(size_t size) noexcept;
  static void operator delete(void* block, size_t size);

  virtual ~OrbaExpression() = default;
  virtual bool isShared() const { return false; }
  virtual bool hasOperands() const { return false; }
  virtual bool isValue() const { return false; }
  virtual bool isError() const { return false; }
  virtual bool isRelocatable() const { return false; }
  virtual const char* getErrorExtra() const;
  virtual uint32_t getErrorKind() const;
  virtual int32_t getArgumentCount() const;
  virtual OrbaExpression* getArgument(int32_t index) const;
  virtual int64_t getInteger() const;
  virtual double getDouble() const;
  virtual const uint8_t* getFract() const;
  virtual const char* getString() const;
  virtual uint32_t getStringLength() const;
  virtual Symbol* getSymbol() const;
  virtual int32_t getOperator() const;
  virtual bool isInSection(const Section* section) const;
  virtual bool hasWeakReference() const { return false; }
  virtual uint32_t countSymbolReferences() const { return 0; }
  virtual void replaceSymbol(Symbol* oldSymbol, Symbol* newSymbol);
  virtual OrbaExpression* substitute(Symbol* symbol, OrbaExpression* expression);
  virtual uint32_t getKind() const { return EK_expression; }
  virtual void print(std::ostream& out, unsigned mode) const = 0;
  // The text that print writes; one stream is reused for every call.
  std::string toString(unsigned mode) const;
  virtual OrbaExpression* evaluate() = 0;
  virtual uint32_t getUnit() const = 0;
  virtual OrbaExpression* clone() = 0;
  // The object-file form; null when the tree has none and the caller must report it.
  virtual ExprNode* toObject(ObjectFile* context, bool warn);
  // Fills the location value; sets error when the value is an error.
  virtual ExprValue& getValue(ExprValue& value, const ExprLocation& location, bool& error);

 protected:
  // The internal error of asking a node for a value it does not have; never returns.
  [[noreturn]] static void noSuchValue(int line, const char* text);
};

// Deletes a temporary node unless it is shared; its operands stay.
void releaseTempExpression(OrbaExpression* expression);
// A value leaf that is not a symbol reference.
bool isConstantValue(const OrbaExpression* expression);
// The text of print with mode 3, empty for null.
std::string exprToString(const OrbaExpression* expression);
