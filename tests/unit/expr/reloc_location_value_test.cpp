// Location values: what the layout passes learn of an expression before the link.
#include <functional>

#include "expr/TEDouble.h"
#include "expr/TEError.h"
#include "expr/TEFract.h"
#include "expr/TEFunction.h"
#include "expr/TELineInfo.h"
#include "expr/TERelocation.h"
#include "expr/TESection.h"
#include "expr/TEString.h"
#include "expr/TEUnary.h"
#include "expr/functions.h"
#include "reloc_fixture.h"

namespace {

class RelocLocationValue : public RelocTest {};

TEST_F(RelocLocationValue, KindSectionOffsetKnownAndErrorTextFollowTheOperands) {
  // A is being laid out at 0x100, the pass stands at 0x108; B is located at 0x1000.
  Symbol* l1 = label("l1", sectionA_, 0x10);
  Symbol* l2 = label("l2", sectionA_, 0x30);
  Symbol* moved = label("moved", sectionA_, 0x40);
  moved->layoutBlock = 1;  // section A's current block is 0
  Symbol* inB = label("inB", sectionB_, 0x34);
  Symbol* inC = label("inC", sectionC_, 0x8);
  Symbol* constantInC = symbol("constantInC", num(0x40));
  constantInC->section = sectionC_;
  Symbol* weak = label("weak", sectionA_, 0x20);
  weak->flags[1] |= Symbol::kWeak;
  Symbol* equ = symbol("equ", num(7));
  equ->flags[0] |= Symbol::kDefined | Symbol::kEquate;
  Symbol* ext = external("ext");

  const ExprLocation inA{sectionA_, 0x108, 0x100};
  const ExprLocation inLocatedB{sectionB_, 0x1010, 0x1000};
  constexpr uint32_t N = ExprValue::kNone;
  constexpr uint32_t R = ExprValue::kRelative;
  constexpr uint32_t A = ExprValue::kAbsolute;
  struct Case {
    const char* what;
    std::function<OrbaExpression*()> build;
    const ExprLocation* location;
    uint32_t kind;
    Section* section;  // relative values
    int64_t number;    // value or offset
    bool known;
    const char* errorText;  // null: no error
  };
  const Case cases[] = {
      {"integer", [&] { return num(5); }, &inA, A, nullptr, 5, true, nullptr},
      {"double truncates", [&] { return TEDouble::create(-2.7); }, &inA, A, nullptr, -2, true,
       nullptr},
      {"fraction is not known", [&] { return new TEFract(0.5, 16); }, &inA, A, nullptr, 0, false,
       nullptr},
      {"short string packs", [&] { return TEString::create("AB", 2); }, &inA, A, nullptr, 0x4142,
       true, nullptr},
      {"long string is not known",
       [&] { return TEString::create("0123456789012345678901234567890123", 33); }, &inA, A, nullptr,
       0, false, nullptr},
      {"section leaf", [&] { return TESection::create(sectionA_); }, &inA, N, nullptr, 0, false,
       "E134: error in expression: section pointer"},
      {"line leaf", [&] { return TELineInfo::create(line(3)); }, &inA, N, nullptr, 0, false,
       "E134: error in expression: lineinfo pointer"},
      {"error node", [&] { return TEError::kind8(); }, &inA, N, nullptr, 0, false,
       "E134: error in expression: divide by zero"},
      // Symbols.
      {"label in the current section", [&] { return sym(l1); }, &inA, R, sectionA_, 0x10, true,
       nullptr},
      {"label of an earlier block moves with the pass", [&] { return sym(moved); }, &inA, R,
       sectionA_, 0x48, true, nullptr},
      {"label in a located current section adds the base", [&] { return sym(inB); }, &inLocatedB, R,
       sectionB_, 0x1034, true, nullptr},
      {"label elsewhere without a constant value", [&] { return sym(inC); }, &inA, R, sectionC_, 0,
       false, nullptr},
      {"symbol elsewhere with a constant value", [&] { return sym(constantInC); }, &inA, R,
       sectionC_, 0x40, true, nullptr},
      {"weak symbol", [&] { return sym(weak); }, &inA, R, sectionA_, 0, false, nullptr},
      {"symbol without value", [&] { return sym(ext); }, &inA, R, nullptr, 0, false, nullptr},
      {"equate takes its value's", [&] { return sym(equ); }, &inA, A, nullptr, 7, true, nullptr},
      // Addition and subtraction.
      {"absolute + absolute", [&] { return bin(sym(equ), OP_add, num(3)); }, &inA, A, nullptr, 10,
       true, nullptr},
      {"label + absolute", [&] { return bin(sym(l1), OP_add, num(4)); }, &inA, R, sectionA_, 0x14,
       true, nullptr},
      {"absolute + label", [&] { return bin(num(4), OP_add, sym(l1)); }, &inA, R, sectionA_, 0x14,
       true, nullptr},
      {"label + label has no section", [&] { return bin(sym(l1), OP_add, sym(l2)); }, &inA, R,
       nullptr, 0, false, nullptr},
      {"label - absolute", [&] { return bin(sym(l1), OP_subtract, num(4)); }, &inA, R, sectionA_,
       0xC, true, nullptr},
      {"difference of labels in one section", [&] { return bin(sym(l2), OP_subtract, sym(l1)); },
       &inA, A, nullptr, 0x20, true, nullptr},
      {"difference of labels in two sections", [&] { return bin(sym(l2), OP_subtract, sym(inC)); },
       &inA, A, nullptr, 0, false, nullptr},
      // Masks.
      {"absolute & absolute", [&] { return bin(num(0xF0), OP_bitAnd, num(0x3C)); }, &inA, A,
       nullptr, 0x30, true, nullptr},
      {"absolute & label is absolute, not known",
       [&] { return bin(num(0xFF), OP_bitAnd, sym(l1)); }, &inA, A, nullptr, 0, false, nullptr},
      {"absolute & no value is not known",
       [&] { return bin(num(0xFF), OP_bitAnd, new TEUnary(OP_negate, sym(l1))); }, &inA, A, nullptr,
       0, false, nullptr},
      {"no value & absolute is not known",
       [&] { return bin(new TEUnary(OP_negate, sym(l1)), OP_bitAnd, num(0xFF)); }, &inA, A, nullptr,
       0, false, nullptr},
      {"label & absolute in an unlocated section",
       [&] { return bin(sym(l1), OP_bitAnd, num(0xFF)); }, &inA, A, nullptr, 0, false, nullptr},
      {"label & absolute in a located section", [&] { return bin(sym(inB), OP_bitAnd, num(0xFF)); },
       &inLocatedB, A, nullptr, 0x34, true, nullptr},
      {"absolute | absolute", [&] { return bin(num(3), OP_bitOr, num(4)); }, &inA, A, nullptr, 7,
       true, nullptr},
      {"label | absolute", [&] { return bin(sym(l1), OP_bitOr, num(1)); }, &inA, A, nullptr, 0,
       false, nullptr},
      {"other operators evaluate", [&] { return bin(sym(equ), OP_multiply, num(6)); }, &inA, A,
       nullptr, 42, true, nullptr},
      {"other operators over a label have no value",
       [&] { return bin(sym(l1), OP_multiply, num(2)); }, &inA, N, nullptr, 0, false, nullptr},
      {"failed left operand gives its text",
       [&] { return bin(TESection::create(sectionA_), OP_add, num(1)); }, &inA, N, nullptr, 0,
       false, "E134: error in expression: section pointer"},
      {"failed right operand gives its text",
       [&] { return bin(num(1), OP_add, TELineInfo::create(line(4))); }, &inA, N, nullptr, 0, false,
       "E134: error in expression: lineinfo pointer"},
      // Unary operators.
      {"negated absolute", [&] { return new TEUnary(OP_negate, sym(equ)); }, &inA, A, nullptr, -7,
       true, nullptr},
      {"complement", [&] { return new TEUnary(OP_complement, num(0)); }, &inA, A, nullptr, -1, true,
       nullptr},
      {"logical not", [&] { return new TEUnary(OP_logicalNot, num(0)); }, &inA, A, nullptr, 1, true,
       nullptr},
      {"negated label has no value", [&] { return new TEUnary(OP_negate, sym(l1)); }, &inA, N,
       nullptr, 0, false, nullptr},
      {"unary plus keeps a label", [&] { return new TEUnary(OP_plus, sym(l1)); }, &inA, R,
       sectionA_, 0x10, true, nullptr},
      {"unary over a failure keeps its text",
       [&] { return new TEUnary(OP_negate, TESection::create(sectionA_)); }, &inA, N, nullptr, 0,
       false, "E134: error in expression: section pointer"},
      // Relocation functions and target halves.
      {"relocation function is its inner value's", [&] { return new TERelocation(sym(l1), 7); },
       &inA, R, sectionA_, 0x10, true, nullptr},
      {"high half of an absolute is the plain half",
       [&] {
         OrbaExpression* argument = num(0x12348000);
         return TETricoreFunction::create(FN_HIS, &argument, 1);
       },
       &inA, A, nullptr, 0x1234, true, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ExprValue value;
    value.init();
    bool error = false;
    c.build()->getValue(value, *c.location, error);
    EXPECT_EQ(value.kind, c.kind);
    EXPECT_EQ(value.known, c.known);
    if (c.kind == R) {
      EXPECT_EQ(value.section, c.section);
      EXPECT_EQ(value.offset, c.number);
    } else if (c.kind == A) {
      EXPECT_EQ(value.value, c.number);
    }
    EXPECT_EQ(error, c.errorText != nullptr);
    EXPECT_STREQ(value.errorText, c.errorText);
  }
}

TEST_F(RelocLocationValue, UnitIsTheNodesUnit) {
  Symbol* wide = symbol("wide", num(4));
  wide->unit = 2;
  const ExprLocation location{sectionA_, 0, 0};
  struct Case {
    const char* what;
    OrbaExpression* expression;
    uint32_t unit;
  };
  const Case cases[] = {
      {"integer", num(1), 1},
      {"section", TESection::create(sectionA_), 0},
      {"symbol", sym(wide), 2},
      {"sum takes the left unit", bin(sym(wide), OP_add, num(1)), 2},
      {"negation", new TEUnary(OP_negate, sym(wide)), 2},
  };
  for (const Case& c : cases) {
    ExprValue value;
    value.init();
    bool error = false;
    c.expression->getValue(value, location, error);
    EXPECT_EQ(value.unit, c.unit) << c.what;
  }
}

TEST_F(RelocLocationValue, ValueThatRefersToItsOwnSymbolEnds) {
  Symbol* loop = symbol("loop");
  loop->flags[0] |= Symbol::kDefined | Symbol::kEquate;
  loop->valueExpression = bin(sym(loop), OP_add, num(1));
  ExprValue value;
  value.init();
  bool error = false;
  sym(loop)->getValue(value, ExprLocation{sectionA_, 0, 0}, error);
  EXPECT_FALSE(value.known);
}

}  // namespace
