// The target address functions and operand checks: their values against the
// instruction's location, and the object-file form of every function call.
#include <functional>

#include "expr/TEFunction.h"
#include "expr/TELineInfo.h"
#include "expr/TESection.h"
#include "expr/TETricoreFunction.h"
#include "expr/functions.h"
#include "reloc_fixture.h"
#include "util/c-memory.h"

namespace {

class RelocFunctions : public RelocTest {
 protected:
  static TEFunction* call(int32_t code, std::vector<OrbaExpression*> arguments) {
    return TEFunction::create(code, arguments.data(), arguments.size());
  }
  static TETricoreFunction* target(int32_t code, OrbaExpression* argument) {
    return TETricoreFunction::create(code, &argument, 1);
  }
  OrbaExpression* at(Section* section) { return TESection::create(section); }

  // The evaluated integer, or the error kind as a negative number minus 1000.
  static int64_t valueOf(OrbaExpression* expression) {
    OrbaExpression* result = expression->evaluate();
    if (result->isError()) return -1000 - static_cast<int64_t>(result->getErrorKind());
    return result->getInteger();
  }
};

constexpr int64_t kError5 = -1005;

TEST_F(RelocFunctions, PcRelativeGivesTheFieldValueOfTheDisplacement) {
  // A: section-relative, the instruction at 0x20. B: located at 0x1000 and measured
  // from its base, the instruction at 0x10.
  sectionA_->locationCounter = 0x20;
  sectionB_->locationCounter = 0x10;
  sectionB_->noSectionRelativeEvaluation = 1;
  Symbol* l1 = label("l1", sectionA_, 0x10);
  Symbol* atStart = symbol("atStart", TESymbol::create(sectionA_->sectionSymbol));
  atStart->flags[0] |= Symbol::kDefined;
  atStart->section = sectionA_;
  Symbol* afterL1 = symbol("afterL1", new TEBinary(OP_add, TESymbol::create(l1), TEInteger::create(8)));
  afterL1->flags[0] |= Symbol::kDefined;
  afterL1->section = sectionA_;
  // A label whose value a walk is inside already reads as one without a value.
  Symbol* walked = label("walked", sectionA_, 0x10);
  walked->valueVisit = true;
  Symbol* weak = label("weak", sectionA_, 0x10);
  weak->flags[1] |= Symbol::kWeak;
  struct Case {
    const char* what;
    std::function<OrbaExpression*()> targetExpression;
    std::function<OrbaExpression*()> sectionArgument;
    int64_t offset;
    int64_t span;
    int64_t value;
  };
  const Case cases[] = {
      {"upper half of the field is negative", [&] { return num(0x20 + 200); },
       [&] { return at(sectionA_); }, 0, 256, -56},
      {"negative displacement is its field value", [&] { return num(0x20 - 2); },
       [&] { return at(sectionA_); }, 0, 256, 254},
      {"lower half stays", [&] { return num(0x20 + 100); }, [&] { return at(sectionA_); }, 0, 256,
       100},
      {"span 0 leaves it", [&] { return num(0x20 - 2); }, [&] { return at(sectionA_); }, 0, 0, -2},
      {"span 1 leaves it", [&] { return num(0x20 + 200); }, [&] { return at(sectionA_); }, 0, 1,
       200},
      {"offset counts", [&] { return num(0x20 + 200); }, [&] { return at(sectionA_); }, 100, 256,
       100},
      {"label measured from the section start", [&] { return sym(l1); },
       [&] { return at(sectionA_); }, 0, 256, 0xF0},
      {"label at the section start", [&] { return sym(atStart); }, [&] { return at(sectionA_); }, 0, 256,
       0xE0},
      {"label named by another label's value", [&] { return sym(afterL1); }, [&] { return at(sectionA_); }, 0,
       256, 0xF8},
      {"label whose value is being walked", [&] { return sym(walked); }, [&] { return at(sectionA_); }, 0, 256,
       -1000 - int64_t{ERR_symbolHasNoValue}},
      {"weak label", [&] { return sym(weak); }, [&] { return at(sectionA_); }, 0, 256,
       -1000 - int64_t{ERR_symbolHasNoValue}},
      {"label span 0 leaves it", [&] { return sym(l1); }, [&] { return at(sectionA_); }, 0, 0, -0x10},
      {"located section measures from its base", [&] { return num(0x1100); },
       [&] { return at(sectionB_); }, 0, 256, -16},
      {"label of an unlocated section elsewhere", [&] { return sym(l1); },
       [&] { return at(sectionB_); }, 0, 256, -1000 - int64_t{ERR_symbolHasNoValue}},
      {"no section argument", [&] { return num(5); }, [&] { return num(0); }, 0, 256, kError5},
      {"section of the first lines", [&] { return num(5); }, [&] { return at(sectionC_); }, 0, 256,
       kError5},
  };
  runState().placeholderSection = sectionC_;
  for (const Case& c : cases) {
    TEFunction* check =
        call(FN_PCREL, {c.targetExpression(), c.sectionArgument(), num(c.offset), num(c.span)});
    EXPECT_EQ(valueOf(check), c.value) << c.what;
  }
  runState().placeholderSection = nullptr;
}

// A section placed at a fixed address: its own symbol's value is the address, as the
// section directive gives it. Every target is measured from that address, a number as
// the address it is and a label of the section as its offset there, as far as a label
// at the number's address.
TEST_F(RelocFunctions, PcRelativeInASectionAtAFixedAddressMeasuresFromItsStart) {
  Section* placed = section("placed");
  placed->hasAddress = 1;
  placed->sectionSymbol->valueExpression = num(0x1000);
  placed->locationCounter = 0x10;
  Symbol* near = label("near", placed, 0x40);
  Symbol* equate = symbol("equate", num(0x1040));
  equate->flags[0] |= Symbol::kDefined | Symbol::kEquate;
  equate->section = placed;
  Symbol* wide = symbol("wide", num(0x100001040));
  wide->flags[0] |= Symbol::kDefined | Symbol::kEquate;
  wide->section = placed;
  struct Case {
    const char* what;
    std::function<OrbaExpression*()> targetExpression;
    int64_t offset;
    int64_t span;
    int64_t value;
  };
  const Case cases[] = {
      {"a number ahead", [&] { return num(0x1040); }, 0, 0, 0x30},
      {"a label at that address", [&] { return sym(near); }, 0, 0, 0x30},
      {"an equate of that address", [&] { return sym(equate); }, 0, 0, 0x30},
      {"a label plus a number", [&] { return bin(sym(near), OP_add, num(4)); }, 0, 0, 0x34},
      {"a number behind", [&] { return num(0x1000); }, 0, 0, -0x10},
      {"a number behind, as a field", [&] { return num(0x1000); }, 0, 256, 0xF0},
      {"the offset argument counts", [&] { return num(0x1040); }, 0x20, 0, 0x10},
      {"a number below the start", [&] { return num(0x0F00); }, 0, 0, -0x110},
      // The program counter counts in 32 bits: a target beyond them is its low 32 bits.
      {"a number beyond 32 bits", [&] { return num(0x100001040); }, 0, 0, 0x30},
      {"a number beyond 32 bits, as a field", [&] { return num(0x100001000); }, 0, 256, 0xF0},
      {"an equate beyond 32 bits", [&] { return sym(wide); }, 0, 0, 0x30},
      {"a number below 0", [&] { return num(-0x100000000 + 0x1040); }, 0, 0, 0x30},
      {"the top of the address space, behind 0", [&] { return num(0xFFFFFFF0); }, 0, 0, -0x1020},
  };
  for (const Case& c : cases) {
    TEFunction* check = call(FN_PCREL, {c.targetExpression(), at(placed), num(c.offset), num(c.span)});
    EXPECT_EQ(valueOf(check), c.value) << c.what;
  }
}

// Expression nodes live for the whole run: a jump's distance to a label of its own
// section, asked for at every jump, must not leave one behind for its location.
TEST_F(RelocFunctions, PcRelativeDistanceToALabelLeavesNoNode) {
  struct Case {
    const char* what;
    int64_t location;
    int64_t labelOffset;
    int64_t value;
  };
  const Case cases[] = {
      {"backward, beyond the small integers", 0x12020, 0x12010, 0xF0},
      {"forward, beyond the small integers", 0x23000, 0x23040, 0x40},
  };
  for (const Case& c : cases) {
    sectionA_->locationCounter = static_cast<uint32_t>(c.location);
    Symbol* target = label(c.what, sectionA_, c.labelOffset);
    TEFunction* check = call(FN_PCREL, {sym(target), at(sectionA_), num(0), num(256)});
    TEInteger::create(c.value);  // the result's own node, shared by every caller
    const size_t before = expressionPool()->inUse;
    EXPECT_EQ(valueOf(check), c.value) << c.what;
    EXPECT_EQ(expressionPool()->inUse, before) << c.what;
  }
}

TEST_F(RelocFunctions, InPageGivesTheTargetOnlyInTheInstructionsPage) {
  sectionA_->locationCounter = 0x130;
  struct Case {
    int64_t target;
    int64_t offset;
    int64_t value;
  };
  const Case cases[] = {
      {0x100, 0, 0x100},  {0x1FF, 0, 0x1FF},    {0x200, 0, kError5},
      {0xFF, 0, kError5}, {0x2F0, 0xD0, 0x2F0},
  };
  for (const Case& c : cases) {
    TEFunction* check = call(FN_INPAGE, {num(c.target), at(sectionA_), num(c.offset), num(256)});
    EXPECT_EQ(valueOf(check), c.value) << std::hex << c.target;
  }
}

TEST_F(RelocFunctions, CallsConvertToTheirObjectForms) {
  sectionB_->locationCounter = 0x10;
  Symbol* ext = external("ext");  // slot 4
  // A local symbol that converts by its value but counts as relocatable.
  Symbol* moving = symbol("moving", num(-200));
  moving->flags[1] |= Symbol::kLocal;
  moving->flags[2] |= Symbol::kRelocatable;
  struct Case {
    const char* what;
    std::function<OrbaExpression*()> build;
    const char* tree;
  };
  const std::string d = "(sub (slot 4) (add (int 4096) (int 20)))";
  const std::string pcrel = "(cond (lor (land (and (shr " + d + " (int 7)) (int 1)) (gt " + d +
                            " (int 0))) (land (not (and (shr " + d + " (int 7)) (int 1))) (lt " +
                            d + " (int 0)))) (xor " + d + " (int -256)) (xor " + d + " (int 0)))";
  const Case cases[] = {
      {"constant call is its value", [&] { return call(FN_MSB, {num(0x1234)}); }, "(int 18)"},
      {"msb", [&] { return call(FN_MSB, {sym(ext)}); }, "(and (shr (slot 4) (int 8)) (int 255))"},
      {"lsb", [&] { return call(FN_LSB, {sym(ext)}); }, "(and (slot 4) (int 255))"},
      {"conditional",
       [&] {
         return call(FN_CONDITIONAL, {sym(ext), num(1), num(2)});
       },
       "(cond (slot 4) (int 1) (int 2))"},
      {"conditional with a branch without form",
       [&] {
         return call(FN_CONDITIONAL, {sym(ext), num(1), TESection::create(sectionA_)});
       },
       "(null)"},
      {"page offset",
       [&] {
         return call(FN_PAGESIZE, {sym(ext), num(4)});
       },
       "(and (slot 4) (int 3))"},
      {"page offset of a relocatable -5",
       [&] {
         return call(FN_PAGESIZE, {sym(moving), num(4)});
       },
       "(and (int -200) (int 3))"},
      {"range is checked at link time",
       [&] {
         return call(FN_RANGE, {sym(ext), num(0), num(255), TELineInfo::create(line(5))});
       },
       "(range (lor (lt (slot 4) (int 0)) (gt (slot 4) (int 255))) (slot 4) (int 1))"},
      {"warning range is not",
       [&] {
         return call(FN_WRANGE, {sym(ext), num(0), num(255), TELineInfo::create(line(5))});
       },
       "(slot 4)"},
      {"pc-relative in a located section",
       [&] {
         return call(FN_PCREL, {sym(ext), at(sectionB_), num(4), num(256)});
       },
       pcrel.c_str()},
      {"pc-relative without span",
       [&] {
         return call(FN_PCREL, {sym(ext), at(sectionB_), num(4), num(0)});
       },
       d.c_str()},
      {"pc-relative in an unlocated section",
       [&] {
         return call(FN_PCREL, {sym(ext), at(sectionA_), num(4), num(256)});
       },
       "(null)"},
      {"in-page in a located section",
       [&] {
         return call(FN_INPAGE, {sym(ext), at(sectionB_), num(4), num(256)});
       },
       "(range (ne (shr (slot 4) (int 8)) (shr (add (int 4096) (int 20)) (int 8))) (slot 4) (int "
       "1))"},
      {"in-page in an unlocated section",
       [&] {
         return call(FN_INPAGE, {sym(ext), at(sectionA_), num(4), num(256)});
       },
       "(null)"},
      {"general function over a symbol has no form",
       [&] {
         return call(FN_MAX, {sym(ext), num(1)});
       },
       "(null)"},
      {"target half over a symbol has no plain form", [&] { return target(FN_LO, sym(ext)); },
       "(null)"},
      {"target half of a constant", [&] { return target(FN_HIS, num(0x12348000)); }, "(int 4661)"},
  };
  for (const Case& c : cases) EXPECT_EQ(convert(c.build()), c.tree) << c.what;
  EXPECT_TRUE(diagnostics().empty());
}

TEST_F(RelocFunctions, PageOffsetValueIsTheRemainder) {
  EXPECT_EQ(valueOf(call(FN_PAGESIZE, {num(-5), num(4)})), -1);
  EXPECT_EQ(convert(call(FN_PAGESIZE, {num(-5), num(4)})), "(int -1)");
}

TEST_F(RelocFunctions, OutOfRangeOperandIsReportedAtItsLine) {
  Symbol* moving = symbol("moving", num(-200));
  moving->flags[1] |= Symbol::kLocal;
  moving->flags[2] |= Symbol::kRelocatable;
  struct Case {
    const char* what;
    int32_t code;
    OrbaExpression* value;
    int64_t low;
    int64_t high;
    const char* tree;
    const char* diagnostic;
  };
  const Case cases[] = {
      {"range with a low bound from 0 is hexadecimal", FN_RANGE, num(300), 0, 255, "(int 0)",
       "E219: expression out of range (0 and FF hexadecimal)@7"},
      {"range with a negative low bound is decimal", FN_RANGE, num(-300), -128, 127, "(int 0)",
       "E218: expression out of range (-128 and 127 decimal)@7"},
      {"warning range keeps the value", FN_WRANGE, num(-200), -128, 127, "(int -200)",
       "W220: expression out of range (-128 and 127 decimal)@7"},
      {"warning range in hexadecimal", FN_WRANGE, num(300), 0, 255, "(int 300)",
       "W221: expression out of range (0 and FF hexadecimal)@7"},
      {"relocatable value keeps its form", FN_WRANGE, sym(moving), -128, 127, "(int -200)",
       "W220: expression out of range (-128 and 127 decimal)@7"},
      {"value in range", FN_RANGE, num(255), 0, 255, "(int 255)", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    delete runState().errorHandler;
    runState().errorHandler = new ErrorHandler();
    EXPECT_EQ(
        convert(call(c.code, {c.value, num(c.low), num(c.high), TELineInfo::create(line(7))})),
        c.tree);
    std::vector<std::string> expected;
    if (c.diagnostic) expected.push_back(c.diagnostic);
    EXPECT_EQ(diagnostics(), expected);
  }
}

TEST_F(RelocFunctions, EvaluationErrorsAreReportedWhereTheObjectWriterStands) {
  struct Case {
    const char* what;
    std::function<OrbaExpression*()> build;
    const char* tree;
    const char* diagnostic;
  };
  const Case cases[] = {
      {"divide by zero", [&] { return call(FN_LOG, {num(0)}); }, "(int 0)",
       "E265: divide by zero@20"},
      {"floating point error", [&] { return call(FN_LOG, {num(-1)}); }, "(int 0)",
       "E264: floating point error in expression@20"},
      {"nested range error without bounds",
       [&] {
         return call(FN_LSB,
                     {call(FN_RANGE, {num(300), num(0), num(255), TELineInfo::create(line(7))})});
       },
       "(int 0)", "E217: expression out of range@20"},
      {"cannot evaluate is the caller's",
       [&] { return call(FN_MAX, {TESection::create(sectionA_)}); }, "(null)", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    delete runState().errorHandler;
    runState().errorHandler = new ErrorHandler();
    EXPECT_EQ(convert(c.build()), c.tree);
    std::vector<std::string> expected;
    if (c.diagnostic) expected.push_back(c.diagnostic);
    EXPECT_EQ(diagnostics(), expected);
  }
}

TEST_F(RelocFunctions, TargetHalvesRelocateTheirArgument) {
  Symbol* ext = external("ext");
  struct Case {
    int32_t code;
    OrbaExpression* argument;
    const char* tree;
  };
  const Case cases[] = {
      {FN_HIS, sym(ext), "(deferred 6 (slot 4))"}, {FN_LO, sym(ext), "(deferred 7 (slot 4))"},
      {FN_LOS, sym(ext), "(deferred 8 (slot 4))"}, {FN_HI, sym(ext), "(null)"},
      {FN_HIS, num(0x12348000), "(int 4661)"},     {FN_LOS, num(0x8000), "(int -32768)"},
      {FN_LO, num(4294967296), "(int 0)"},  // no truncation warning on this path
  };
  for (const Case& c : cases) {
    ExprNode* root = target(c.code, c.argument)->toRelocationObject(nullptr);
    EXPECT_EQ(expr_to_text(root), c.tree) << c.code;
    relocRelease(root);
    EXPECT_EQ(relocLiveNodes(context_), 0u);
  }
  EXPECT_TRUE(diagnostics().empty());
}

}  // namespace
