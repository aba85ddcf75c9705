// Conversion of expression trees into object-file relocation expressions.
#include <functional>

#include "expr/TEDouble.h"
#include "expr/TEError.h"
#include "expr/TEFract.h"
#include "expr/TELineInfo.h"
#include "expr/TERelocation.h"
#include "expr/TESection.h"
#include "expr/TEString.h"
#include "expr/TEUnary.h"
#include "reloc_fixture.h"

namespace {

class RelocToObject : public RelocTest {};

// Slot 1 is section A's own symbol; symbols made in a test count on from 4.
TEST_F(RelocToObject, EveryNodeClassConvertsToItsTree) {
  Symbol* ext = external("ext");    // slot 4
  Symbol* ext2 = external("ext2");  // slot 5
  Symbol* equ = symbol("equ", num(5));
  equ->flags[0] |= Symbol::kDefined | Symbol::kEquate;
  struct Case {
    const char* what;
    std::function<OrbaExpression*()> build;
    const char* tree;
  };
  const Case cases[] = {
      {"integer", [&] { return num(5); }, "(int 5)"},
      {"string packs its bytes", [&] { return TEString::create("AB", 2); }, "(int 16706)"},
      {"double has no form", [&] { return TEDouble::create(0.5); }, "(null)"},
      {"fraction has no form", [&] { return new TEFract(0.5, 16); }, "(null)"},
      {"section has no form", [&] { return TESection::create(sectionA_); }, "(null)"},
      {"line has no form", [&] { return TELineInfo::create(line(2)); }, "(null)"},
      {"error has no form", [&] { return TEError::kind5(); }, "(null)"},
      {"external symbol by name", [&] { return sym(ext); }, "(slot 4)"},
      {"constant binary folds", [&] { return bin(num(2), OP_multiply, sym(equ)); }, "(int 10)"},
      {"symbol difference", [&] { return bin(sym(ext), OP_subtract, sym(ext2)); },
       "(sub (slot 4) (slot 5))"},
      {"nested operators", [&] { return bin(bin(sym(ext), OP_add, num(4)), OP_shiftLeft, num(2)); },
       "(shl (add (slot 4) (int 4)) (int 2))"},
      {"concatenation has no form",
       [&] { return bin(sym(ext), OP_concat, TEString::create("a", 1)); }, "(null)"},
      {"operand without form gives none",
       [&] { return bin(sym(ext), OP_add, TEDouble::create(1.5)); }, "(null)"},
      {"negation", [&] { return new TEUnary(OP_negate, sym(ext)); }, "(neg (slot 4))"},
      {"complement", [&] { return new TEUnary(OP_complement, sym(ext)); }, "(not (slot 4))"},
      {"logical not", [&] { return new TEUnary(OP_logicalNot, sym(ext)); }, "(lnot (slot 4))"},
      {"unary plus is its operand", [&] { return new TEUnary(OP_plus, sym(ext)); }, "(slot 4)"},
      // The folded node converts, not its folded operand: -equ is -5, not 5.
      {"constant unary keeps its operator", [&] { return new TEUnary(OP_negate, sym(equ)); },
       "(int -5)"},
      {"relocation function wraps its inner form", [&] { return new TERelocation(sym(ext), 7); },
       "(deferred 7 (slot 4))"},
      {"relocation function without inner form",
       [&] { return new TERelocation(TEDouble::create(1.0), 7); }, "(null)"},
  };
  for (const Case& c : cases) EXPECT_EQ(convert(c.build()), c.tree) << c.what;
}

TEST_F(RelocToObject, BinaryOperatorsMapToTheirObjectKinds) {
  Symbol* ext = external("ext");
  struct Case {
    int32_t op;
    const char* name;
  };
  const Case cases[] = {
      {OP_add, "add"},       {OP_logicalAnd, "land"}, {OP_bitAnd, "and"},
      {OP_bitOr, "or"},      {OP_bitXor, "xor"},      {OP_divide, "div"},
      {OP_equal, "eq"},      {OP_greaterEqual, "ge"}, {OP_greater, "gt"},
      {OP_lessEqual, "le"},  {OP_less, "lt"},         {OP_remainder, "rem"},
      {OP_multiply, "mul"},  {OP_notEqual, "ne"},     {OP_logicalOr, "lor"},
      {OP_shiftLeft, "shl"}, {OP_shiftRight, "shr"},  {OP_subtract, "sub"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(convert(bin(sym(ext), c.op, num(3))),
              std::string("(") + c.name + " (slot 4) (int 3))")
        << c.name;
  }
}

TEST_F(RelocToObject, TruncationWarningsOnlyWhenAsked) {
  const char* longText = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcd";  // 40 bytes
  struct Case {
    const char* what;
    OrbaExpression* expression;
    bool warn;
    const char* tree;
    const char* diagnostic;  // null: none
  };
  const Case cases[] = {
      {"largest unsigned 32-bit", num(4294967295), true, "(int 4294967295)", nullptr},
      {"one above keeps the low 32 bits", num(4294967296), true, "(int 0)",
       "W298: integer value truncated to 32 bits@10"},
      {"smallest signed 32-bit", num(-2147483648LL), true, "(int -2147483648)", nullptr},
      {"one below", num(-2147483649LL), true, "(int 2147483647)",
       "W298: integer value truncated to 32 bits@10"},
      {"without warn the full value", num(4294967296), false, "(int 4294967296)", nullptr},
      {"32-byte string", TEString::create(longText, 32), true, "(int 5715157341160363350)",
       nullptr},
      {"40-byte string takes its first 32 bytes", TEString::create(longText, 40), true,
       "(int 5715157341160363350)", "W215: string value truncated to 32 characters@10"},
      {"inside an operator", bin(sym(external("ext")), OP_add, num(4294967296)), true,
       "(add (slot 4) (int 0))", "W298: integer value truncated to 32 bits@10"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    delete runState().errorHandler;
    runState().errorHandler = new ErrorHandler();
    EXPECT_EQ(convert(c.expression, c.warn), c.tree);
    std::vector<std::string> expected;
    if (c.diagnostic) expected.push_back(c.diagnostic);
    EXPECT_EQ(diagnostics(), expected);
  }
}

TEST_F(RelocToObject, DivisionByZeroIsReportedAndBecomesZero) {
  EXPECT_EQ(convert(bin(num(7), OP_divide, num(0))), "(int 0)");
  EXPECT_EQ(diagnostics(), std::vector<std::string>{"E265: divide by zero@10"});
}

// Which symbols reach the object file by name and which by their value.
TEST_F(RelocToObject, SymbolGoesByNameOrByValue) {
  struct Case {
    const char* what;
    const char* name;
    uint8_t flags0;
    uint8_t flags1;
    uint8_t flags2;
    bool hasValue;  // the value is 9
    bool emitLocalSymbols;
    bool emitLocalEquates;
    const char* tree;  // the symbol made is slot 4
  };
  constexpr uint8_t kLocal = Symbol::kLocal;
  constexpr uint8_t kEqu = Symbol::kEquate | Symbol::kDefined;
  const Case cases[] = {
      {"global with value", "g", Symbol::kGlobal, 0, 0, true, false, false, "(slot 4)"},
      {"no value at all", "x", Symbol::kBinding0, kLocal, 0, false, false, false, "(slot 4)"},
      {"local with value", "l", 0, kLocal, 0, true, false, false, "(int 9)"},
      {"local label emitted", "l", 0, kLocal, 0, true, true, false, "(slot 4)"},
      {"local dot label stays a value", ".l", 0, kLocal, 0, true, true, false, "(int 9)"},
      {"local compiler function emitted", ".cocofun_3", 0, kLocal, 0, true, true, false,
       "(slot 4)"},
      {"equate", "e", kEqu, 0, 0, true, false, false, "(int 9)"},
      {"equate emitted", "e", kEqu, 0, 0, true, false, true, "(slot 4)"},
      {"local equate ignores the label switch", "e", kEqu, kLocal, 0, true, true, false, "(int 9)"},
      {"counts as reference", "r", 0, kLocal | Symbol::kCountsAsReference, 0, true, false, false,
       "(slot 4)"},
      {"weak", "w", 0, kLocal | Symbol::kWeak, 0, true, false, false, "(slot 4)"},
      {"binding bit 5", "b", Symbol::kInternal, 0, 0, true, false, false, "(int 9)"},
      {"binding bit 6", "b", Symbol::kBinding6, 0, 0, true, false, false, "(int 9)"},
      {"binding bit 0 and not relocatable", "b", Symbol::kBinding0, Symbol::kCountsAsReference, 0,
       true, false, false, "(int 9)"},
      {"binding bit 0 but relocatable", "b", Symbol::kBinding0, 0, Symbol::kRelocatable, true,
       false, false, "(slot 4)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    runState().orbaOptions->emitLocalSymbols = c.emitLocalSymbols;
    runState().orbaOptions->emitLocalEqus = c.emitLocalEquates;
    Symbol* made = symbol(c.name, c.hasValue ? num(9) : nullptr);
    made->flags[0] |= c.flags0;
    made->flags[1] |= c.flags1;
    made->flags[2] |= c.flags2;
    EXPECT_EQ(convert(sym(made)), c.tree);
  }
}

TEST_F(RelocToObject, LocalLabelGoesOutAgainstItsSectionBase) {
  Symbol* local = label("here", sectionA_, 0x10);
  local->flags[1] |= Symbol::kLocal;
  local->flags[2] &= ~Symbol::kRelocatable;
  Symbol* inLocated = label("there", sectionB_, -4);
  inLocated->flags[1] |= Symbol::kLocal;
  Symbol* onPlaceholder = label("nowhere", sectionC_, 8);
  onPlaceholder->flags[1] |= Symbol::kLocal;
  runState().placeholderSection = sectionC_;
  EXPECT_EQ(convert(sym(local)), "(add (slot 1) (int 16))");
  EXPECT_EQ(convert(sym(inLocated)), "(add (int 4096) (int -4))");
  // The section of the parse's first lines is no place: the value converts as it is.
  EXPECT_EQ(convert(sym(onPlaceholder)), "(add (slot 3) (int 8))");
  runState().placeholderSection = nullptr;
}

TEST_F(RelocToObject, ValueThatRefersToItsOwnSymbolHasNoForm) {
  Symbol* loop = symbol("loop");
  loop->flags[1] |= Symbol::kLocal;
  loop->valueExpression = bin(sym(loop), OP_add, num(1));
  EXPECT_EQ(convert(sym(loop)), "(null)");
}

TEST_F(RelocToObject, NoContextGivesNoForm) {
  setObjectExprContext(nullptr);
  ExprNode* root = bin(sym(external("ext")), OP_add, num(1))->toObject(nullptr, true);
  EXPECT_EQ(root, nullptr);
  setObjectExprContext(context_);
}

// Every node of a conversion belongs to its context and goes when the context goes.
TEST_F(RelocToObject, ContextFreesEveryNodeItHolds) {
  uint64_t before = relocLiveTotal();
  ExprLibContext* own = relocNewContext();
  setObjectExprContext(own);
  Symbol* ext = external("ext");
  ExprNode* kept =
      bin(bin(sym(ext), OP_add, num(4)), OP_bitAnd, num(0xFF))->toObject(nullptr, false);
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(relocLiveNodes(own), 5u);  // and, add, slot, 4, 255
  relocFreeContext(own);
  EXPECT_EQ(relocLiveTotal(), before);
  setObjectExprContext(context_);
}

}  // namespace
