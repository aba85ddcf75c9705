#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "DataFixture.h"
#include "flow/DataEncoder.h"
#include "flow/FAlign.h"
#include "flow/FConstant.h"
#include "flow/FFloatData.h"
#include "expr/TEFunction.h"
#include "expr/TEInteger.h"
#include "expr/functions.h"

namespace {

using Make = std::function<FDataNode*(LineInfo*)>;

Make constant(FConstant::Directive directive) {
  return [directive](LineInfo* line) -> FDataNode* { return FConstant::create(directive, line); };
}
Make floating(FFloat::Directive directive) {
  return [directive](LineInfo* line) -> FDataNode* { return FFloat::create(directive, line); };
}
Make fraction(FFract::Directive directive) {
  return [directive](LineInfo* line) -> FDataNode* { return FFract::create(directive, line); };
}

// One directive line at line 3 of a fresh data section, written; the image starts
// as 0xEE bytes so that a byte nobody wrote shows.
class DataDirectiveTest : public DataNodeTest {
 protected:
  FDataNode* write(const Make& make, const std::vector<const char*>& operands) {
    Section* data = dataSection();
    LineInfo* statement = at(3, data);
    FDataNode* node = make(statement);
    addOperands(node, operands, statement);
    data->addNode(node, true);
    layOutAndWrite(data, 0xEE);
    return node;
  }
};

TEST_F(DataDirectiveTest, ValuesBecomeImageBytesInLittleEndianOrder) {
  struct Case {
    const char* name;
    Make make;
    std::vector<const char*> operands;
    const char* bytes;
    std::vector<std::string> messages;
  } cases[] = {
      {".WORD", constant(FConstant::kWord), {"0x11223344"}, "44 33 22 11", {}},
      {".HALF", constant(FConstant::kHalf), {"0x1234"}, "34 12", {}},
      {".BYTE list", constant(FConstant::kByte), {"1", "2", "3"}, "01 02 03", {}},
      {".BYTE bounds", constant(FConstant::kByte), {"255", "-128"}, "ff 80", {}},
      {".BYTE 256", constant(FConstant::kByte), {"256"}, "00",
       {"E218: expression out of range (-128 and 255 decimal)@3"}},
      {".BYTE -129", constant(FConstant::kByte), {"-129"}, "7f",
       {"E218: expression out of range (-128 and 255 decimal)@3"}},
      {".HALF bounds", constant(FConstant::kHalf), {"65535", "-32768"}, "ff ff 00 80", {}},
      {".HALF -32769", constant(FConstant::kHalf), {"-32769"}, "ff 7f",
       {"E218: expression out of range (-32768 and 65535 decimal)@3"}},
      {".WORD bounds", constant(FConstant::kWord), {"4294967295", "-2147483648"},
       "ff ff ff ff 00 00 00 80", {}},
      {".WORD 2^32", constant(FConstant::kWord), {"4294967296"}, "00 00 00 00",
       {"E218: expression out of range (-2147483648 and 4294967295 decimal)@3"}},
      {".WORD a float", constant(FConstant::kWord), {"1.5"}, "00 00 00 00",
       {"E239: integer or string value expected@3"}},
      {".ASCIIZ", constant(FConstant::kAsciiz), {"\"AB\""}, "41 42 00", {}},
      {".ASCIIZ two strings", constant(FConstant::kAsciiz), {"\"A\"", "\"\""}, "41 00 00 00", {}},
      {".ASCII empty string", constant(FConstant::kAscii), {"\"\""}, "00", {}},
      {".ASCII not a string", constant(FConstant::kAscii), {"7", "\"B\""}, "00 42",
       {"E238: string value expected@3"}},
      {".BYTE string", constant(FConstant::kByte), {"\"AB\""}, "41 42", {}},
      {".WORD string", constant(FConstant::kWord), {"\"AB\""}, "41 00 00 00 42 00 00 00", {}},
      {".FLOAT 1", floating(FFloat::kFloat), {"1"}, "00 00 80 3f", {}},
      {".FLOAT 0", floating(FFloat::kFloat), {"0"}, "00 00 00 00", {}},
      {".FLOAT -2.5", floating(FFloat::kFloat), {"-2.5"}, "00 00 20 c0", {}},
      {".FLOAT 1e39", floating(FFloat::kFloat), {"1e39"}, "00 00 00 00",
       {"E217: expression out of range@3"}},
      {".FLOAT denormal", floating(FFloat::kFloat), {"1e-39"}, "00 00 00 00",
       {"E217: expression out of range@3"}},
      {".FLOAT string", floating(FFloat::kFloat), {"\"A\""}, "00 00 00 00",
       {"E236: single precision floating point value expected@3"}},
      {".DOUBLE 1", floating(FFloat::kDouble), {"1"}, "00 00 00 00 00 00 f0 3f", {}},
      {".DOUBLE 3", floating(FFloat::kDouble), {"3"}, "00 00 00 00 00 00 08 40", {}},
      {".DOUBLE 1e39 fits", floating(FFloat::kDouble), {"1e39"}, "1d 4a 9c f4 87 82 07 48", {}},
      {".DOUBLE string", floating(FFloat::kDouble), {"\"A\""}, "00 00 00 00 00 00 00 00",
       {"E235: double precision floating point value expected@3"}},
      {".SFRACT 0.5", fraction(FFract::kSfract), {"0.5"}, "00 40", {}},
      {".SFRACT 1.0", fraction(FFract::kSfract), {"1.0"}, "ff 7f", {"E217: expression out of range@3"}},
      {".SFRACT -1.0", fraction(FFract::kSfract), {"-1.0"}, "00 80", {}},
      {".SFRACT integer 0", fraction(FFract::kSfract), {"0"}, "00 00", {}},
      {".SFRACT string", fraction(FFract::kSfract), {"\"x\""}, "00 00",
       {"E237: fractional fixed point value expected@3"}},
      {".FRACT -0.5", fraction(FFract::kFract), {"-0.5"}, "00 00 00 c0", {}},
      {".ACCUM 2.0", fraction(FFract::kAccum), {"2.0"}, "00 00 00 00 00 80 00 00", {}},
      {".ACCUM 2^17", fraction(FFract::kAccum), {"131072.0"}, "ff ff ff ff ff ff ff 7f",
       {"E217: expression out of range@3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FDataNode* node = write(c.make, c.operands);
    EXPECT_EQ(imageBytes(), c.bytes);
    // What the layout counted is what was written.
    EXPECT_EQ(writer_.section->locationCounter, static_cast<int32_t>(image_.size()));
    EXPECT_EQ(node->computeSize(writer_.section, 0), static_cast<int32_t>(image_.size()));
    EXPECT_EQ(diagnostics(), c.messages);
    delete runState().errorHandler;
    runState().errorHandler = new ErrorHandler();
  }
}

// The directives of a small data block one after the other, the alignment padding
// included.
TEST_F(DataNodeTest, MixedDirectivesFillOneImage) {
  Section* data = dataSection();
  struct Statement {
    Make make;
    const char* operand;
  } statements[] = {
      {constant(FConstant::kWord), "0x11223344"}, {constant(FConstant::kHalf), "0x1234"},
      {constant(FConstant::kAsciiz), "\"AB\""},   {constant(FConstant::kByte), "1"},
      {nullptr, "4"},                             {floating(FFloat::kFloat), "1"},
  };
  uint32_t number = 1;
  for (const Statement& statement : statements) {
    LineInfo* statementLine = at(number++, data);
    if (!statement.make) {
      data->addNode(new FAlign(statementLine, parse(statement.operand, statementLine), data), true);
      continue;
    }
    FDataNode* node = statement.make(statementLine);
    addOperands(node, {statement.operand}, statementLine);
    data->addNode(node, true);
  }
  layOutAndWrite(data);
  EXPECT_EQ(data->size, 16u);
  EXPECT_EQ(data->locationCounter, 16);
  EXPECT_EQ(imageBytes(), "44 33 22 11 34 12 41 42 00 01 00 00 00 00 80 3f");
  // The padding is zero data of the object store.
  ASSERT_EQ(writer_.store_.zeros.size(), 1u);
  EXPECT_EQ(writer_.store_.zeros[0].offset, 10u);
  EXPECT_EQ(writer_.store_.zeros[0].count, 2u);
  EXPECT_TRUE(diagnostics().empty());
}

TEST_F(DataNodeTest, ListedBytesFollowTheImage) {
  Section* data = dataSection();
  LineInfo* statement = at(2, data);
  FConstant* node = FConstant::create(FConstant::kByte, statement);
  // Enough values that the line's buffer grows several times.
  for (int value = 1; value <= 20; ++value)
    node->addOperand(parse(std::to_string(value).c_str(), statement));
  data->addNode(node, true);
  LineInfo* unlisted = at(3, data);
  ControlState quiet;
  quiet.listCounter = 0;
  unlisted->controlState = &quiet;
  FConstant* silent = FConstant::create(FConstant::kHalf, unlisted);
  silent->addOperand(parse("0x0102", unlisted));
  data->addNode(silent, true);
  layOutAndWrite(data);

  EXPECT_EQ(statement->extras().codeByteCount, 20u);
  EXPECT_EQ(listing(statement),
            "01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f 10 11 12 13 14|"
            "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00");
  EXPECT_TRUE(statement->flags[3] & 0x40);
  EXPECT_EQ(unlisted->extras().codeByteCount, 0u);
  EXPECT_EQ(unlisted->extra(1), 0u);
}

TEST_F(DataNodeTest, ValuesKnownOnlyToTheLinkerBecomeRelocations) {
  struct Case {
    const char* name;
    FConstant::Directive directive;
    const char* operand;
    std::vector<std::string> records;
    const char* listed;
    std::vector<std::string> messages;
  } cases[] = {
      {".WORD ext+4", FConstant::kWord, "ext+4", {"relocation @0+4 (add (slot 5) (int 4)) type 2"},
       "00 00 00 00|ff ff ff ff", {}},
      {".WORD ext", FConstant::kWord, "ext", {"relocation @0+4 (slot 5) type 2"},
       "00 00 00 00|ff ff ff ff", {}},
      {".WORD ext-4", FConstant::kWord, "ext-4", {"relocation @0+4 (sub (slot 5) (int 4)) type 2"},
       "00 00 00 00|ff ff ff ff", {}},
      {".WORD 4+ext", FConstant::kWord, "4+ext", {"relocation @0+4 (add (int 4) (slot 5)) type 2"},
       "00 00 00 00|ff ff ff ff", {}},
      {".HALF ext", FConstant::kHalf, "ext", {}, "00 00|00 00",
       {"E139: cannot emit expression in object file, replaced with integral value '0'@4"}},
      {".WORD ext-other", FConstant::kWord, "ext-other", {}, "00 00 00 00|00 00 00 00",
       {"E139: cannot emit expression in object file, replaced with integral value '0'@4"}},
      {".WORD 4-ext", FConstant::kWord, "4-ext", {}, "00 00 00 00|00 00 00 00",
       {"E139: cannot emit expression in object file, replaced with integral value '0'@4"}},
      {".WORD ext*2", FConstant::kWord, "ext*2", {}, "00 00 00 00|00 00 00 00",
       {"E139: cannot emit expression in object file, replaced with integral value '0'@4"}},
  };
  external("ext", 5);
  external("other", 6);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writer_.store_.records.clear();
    Section* data = dataSection();
    LineInfo* statement = at(4, data);
    FConstant* node = FConstant::create(c.directive, statement);
    node->addOperand(parse(c.operand, statement));
    data->addNode(node, true);
    layOutAndWrite(data, 0xEE);
    EXPECT_EQ(writer_.store_.records, c.records);
    EXPECT_EQ(listing(statement), c.listed);
    EXPECT_EQ(data->locationCounter, static_cast<int32_t>(image_.size()));
    EXPECT_EQ(diagnostics(), c.messages);
    delete runState().errorHandler;
    runState().errorHandler = new ErrorHandler();
  }
}

// The operand checks that the instruction encoder wraps around a value are looked
// through: @RANGE or @WRANGE, and inside it @INPAGE, @PAGESIZE or @PCREL.
TEST_F(DataNodeTest, RelocationFormTest) {
  external("ext", 5);
  external("other", 6);
  Section* debug = dataSection();
  debug->type = Section::kDebug;
  struct Case {
    const char* text;
    std::vector<int32_t> checks;  // outermost first
    bool inDebugSection;
    bool simple;
  } cases[] = {
      {"12", {}, false, true},
      {"ext", {}, false, true},
      {"ext+4", {}, false, true},
      {"4+ext", {}, false, true},
      {"(ext+4)+8", {}, false, true},
      {"8+(ext-4)", {}, false, true},
      {"ext-4", {}, false, true},
      {"4-ext", {}, false, false},
      {"ext-other", {}, false, false},
      {"ext+other", {}, false, false},
      {"-ext", {}, false, false},
      {"ext*2", {}, false, false},
      {"ext+4", {FN_RANGE}, false, true},
      {"ext+4", {FN_WRANGE, FN_PCREL}, false, true},
      {"ext", {FN_RANGE, FN_INPAGE}, false, true},
      {"ext*2", {FN_RANGE, FN_PAGESIZE}, false, false},
      {"ext", {FN_INPAGE}, false, false},  // only under @RANGE or @WRANGE
      {"ext", {FN_RANGE, FN_RANGE}, false, false},
      {"ext*2", {}, true, true},
      {"ext-other", {}, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    LineInfo* statement = at(1, c.inDebugSection ? debug : nullptr);
    OrbaExpression* value = parse(c.text, statement);
    for (auto check = c.checks.rbegin(); check != c.checks.rend(); ++check) {
      OrbaExpression* arguments[] = {value, TEInteger::create(0), TEInteger::create(100)};
      value = TEFunction::create(*check, arguments, 3);
    }
    EXPECT_EQ(isSimpleRelocation(value, statement), c.simple) << value->toString(0);
  }
}

// A value relative to one symbol goes out against the symbol that the object writer
// names as its base, with the rest folded into one constant.
TEST_F(DataNodeTest, RelocationIsRebasedOnTheBaseSymbol) {
  Symbol* start = external("start", 8);
  Symbol* table = symbol("table");
  table->valueExpression = parse("start+16", at(1, nullptr));
  writer_.baseSymbol = start;
  struct Case {
    const char* operand;
    const char* record;
  } cases[] = {
      {"table+4", "relocation @0+4 (add (slot 8) (int 20)) type 2"},
      {"table-16", "relocation @0+4 (slot 8) type 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.operand);
    writer_.store_.records.clear();
    Section* data = dataSection();
    LineInfo* statement = at(2, data);
    FConstant* node = FConstant::create(FConstant::kWord, statement);
    node->addOperand(parse(c.operand, statement));
    data->addNode(node, true);
    layOutAndWrite(data);
    EXPECT_EQ(writer_.store_.records, std::vector<std::string>{c.record});
  }
  EXPECT_TRUE(diagnostics().empty());
}

// Without a relocation type a value the linker finishes is an expression of the
// image; in a little-endian section its bytes are exchanged by the expression.
TEST_F(DataNodeTest, ExpressionsWithoutRelocationTypeAreByteReversed) {
  Section* data = dataSection();
  LineInfo* statement = at(2, data);
  external("ext", 5);
  FConstant node(statement, "Note", 0, 32, 0, 0);
  data->size = 8;
  image_.assign(8, 0xEE);
  data->image = image_.data();
  data->writing = 1;
  data->locationCounter = 4;
  writer_.section = data;
  encodeDataConstant(writer_, node, parse("ext+1", statement), 32, false, 0, 0);
  EXPECT_EQ(writer_.store_.records,
            std::vector<std::string>{
                "expression @4+4 (or (or (or (shl (and (add (slot 5) (int 1)) (int 255)) (int 24)) "
                "(shl (and (add (slot 5) (int 1)) (int 65280)) (int 8))) "
                "(shr (and (add (slot 5) (int 1)) (int 16711680)) (int 8))) "
                "(shr (and (add (slot 5) (int 1)) (int 4278190080)) (int 24)))"});
  EXPECT_EQ(data->locationCounter, 8);
  EXPECT_EQ(listing(statement), "00 00 00 00|ff ff ff ff");
  EXPECT_EQ(imageBytes(), "ee ee ee ee ee ee ee ee");

  // A big-endian section takes the value as it is; one unit is never exchanged.
  writer_.store_.records.clear();
  data->byteOrder = Section::kBigEndian;
  data->locationCounter = 0;
  encodeDataConstant(writer_, node, parse("ext", statement), 32, false, 0, 0);
  data->byteOrder = Section::kLittleEndian;
  encodeDataConstant(writer_, node, parse("ext", statement), 8, false, 0, 0);
  EXPECT_EQ(writer_.store_.records,
            (std::vector<std::string>{"expression @0+4 (slot 5)", "expression @4+1 (slot 5)"}));
  EXPECT_TRUE(diagnostics().empty());
}

TEST_F(DataNodeTest, SectionWithoutImageOnlyMovesTheLocation) {
  struct Case {
    const char* name;
    Make make;
    std::vector<const char*> operands;
    int32_t location;
    std::vector<std::string> messages;
  } cases[] = {
      {".WORD", constant(FConstant::kWord), {"1", "2"}, 8,
       {"E252: \".WORD\" cannot be encoded in uninitialized or cleared section@5"}},
      {".BYTE no values", constant(FConstant::kByte), {}, 0,
       {"E252: \".BYTE\" cannot be encoded in uninitialized or cleared section@5",
        "W242: no storage allocated for \".BYTE\"@5"}},
      {".ASCIIZ", constant(FConstant::kAsciiz), {"\"AB\""}, 3,
       {"E252: \".ASCIIZ\" cannot be encoded in uninitialized or cleared section@5"}},
      {".FLOAT", floating(FFloat::kFloat), {"1", "2"}, 8,
       {"E252: \".FLOAT\" cannot be encoded in uninitialized or cleared section@5"}},
      {".SFRACT no values", fraction(FFract::kSfract), {}, 0,
       {"E252: \".SFRACT\" cannot be encoded in uninitialized or cleared section@5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Section* bss = dataSection(true);
    LineInfo* statement = at(5, bss);
    FDataNode* node = c.make(statement);
    addOperands(node, c.operands, statement);
    bss->addNode(node, true);
    layOutAndWrite(bss);
    EXPECT_EQ(bss->locationCounter, c.location);
    EXPECT_EQ(statement->extra(0), static_cast<uint16_t>(c.location));
    EXPECT_EQ(statement->extras().codeByteCount, 0u);
    EXPECT_TRUE(writer_.store_.records.empty());
    EXPECT_EQ(diagnostics(), c.messages);
    delete runState().errorHandler;
    runState().errorHandler = new ErrorHandler();
  }
}

using DataNodeDeathTest = DataNodeTest;

TEST_F(DataNodeDeathTest, ImageSmallerThanTheLayoutIsFatal) {
  Section* data = dataSection();
  LineInfo* statement = at(2, data);
  FConstant* node = FConstant::create(FConstant::kWord, statement);
  node->addOperand(parse("1", statement));
  data->addNode(node, true);
  EXPECT_EXIT(
      {
        layOutAndWrite(data);
        data->size = 3;
        data->locationCounter = 0;
        node->emit(writer_);
      },
      testing::ExitedWithCode(2), "F008: object store error: size of data appears to be too large");
}

TEST_F(DataNodeTest, ClonesShareTheValuesButNotTheList) {
  LineInfo* statement = at(2, nullptr);
  FConstant* original = FConstant::create(FConstant::kWord, statement);
  original->addOperand(parse("1", statement));
  original->size = 4;
  original->cycles = 2;
  std::unique_ptr<FlowNode> copy(original->clone());
  auto* constantCopy = dynamic_cast<FConstant*>(copy.get());
  ASSERT_NE(constantCopy, nullptr);
  EXPECT_EQ(constantCopy->line, statement);
  EXPECT_EQ(constantCopy->values, original->values);
  EXPECT_EQ(constantCopy->size, 4);
  EXPECT_EQ(constantCopy->cycles, 2);
  EXPECT_EQ(constantCopy->width, 32);
  EXPECT_EQ(constantCopy->relocationType, FConstant::kWordRelocation);
  EXPECT_STREQ(constantCopy->directiveName(), ".WORD");
  EXPECT_EQ(constantCopy->directiveCode(), FConstant::kWordCode);
  original->addValue(parse("2", statement));
  EXPECT_EQ(constantCopy->values.size(), 1u);

  FConstant* other = FConstant::create(FConstant::kByte, at(9, nullptr));
  other->assign(*original);
  EXPECT_EQ(other->line->lineNumber, 9u);  // the line is not assigned
  EXPECT_EQ(other->values, original->values);
  EXPECT_EQ(other->width, 32);
  other->assign(*other);
  EXPECT_EQ(other->values.size(), 2u);
  other->releaseData();
  EXPECT_TRUE(other->values.empty());

  std::ostringstream dump;
  original->dump(dump);
  EXPECT_EQ(dump.str(), "FConstant(\n\texpr = 1\n\texpr = 2\n)\n");
  delete original;
  delete other;
}

}  // namespace
