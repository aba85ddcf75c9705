// Statements that differ from one parsed before only in the values of their numbers
// (decimal or hexadecimal), or in their comment, take the kept outcome of that statement's
// shape: every form of the tables that takes constants, with values inside, at and outside
// their ranges, must come out as the full match makes it.
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "ParseFixture.h"
#include "isa/FInstruction.h"
#include "isa/FSimple.h"
#include "isa/FSimpleRun.h"
#include "isa/IPAttribute.h"
#include "isa/InstructionMatcher.h"
#include "isa/InstructionMatcherShapes.h"

namespace {

// The statements of one form with a "{}" where each of its constant operands stands (at
// most three): the first of every choice, and the registers in a few combinations, so that
// the forms of a base register or of d15 are met as well.
std::vector<std::string> shapesOf(const char* mnemonic, const std::string& syntax) {
  std::vector<std::string> shapes;
  if (syntax.find("label") != std::string::npos || syntax.find("address") != std::string::npos) return shapes;
  std::string text = std::regex_replace(syntax, std::regex(R"(\(([^|()]*)\|[^()]*\))"), "$1");
  text = std::regex_replace(text, std::regex(R"(n\[-?[0-9]+\.\.[0-9]+\])"), "{}");
  size_t numbers = 0;
  for (size_t at = text.find("{}"); at != std::string::npos; at = text.find("{}", at + 2)) ++numbers;
  if (numbers == 0 || numbers > 3) return shapes;
  struct Registers {
    const char* data;
    const char* address;
  };
  for (Registers registers : {Registers{"d3", "a3"}, Registers{"d15", "a15"}, Registers{"d1", "a0"}}) {
    std::string shape = text;
    for (auto [name, value] : {std::pair<const char*, const char*>{"Dn", registers.data}, {"Dx", registers.data},
                               {"D15", "d15"}, {"An", registers.address}, {"A15", "a15"}, {"SP", "sp"},
                               {"En", "e2"}, {"Pn", "p2"}})
      shape = std::regex_replace(shape, std::regex(name), value);
    shapes.push_back(std::string(" ") + mnemonic + " " + shape);
  }
  return shapes;
}

// The values in decimal, or now and then in hexadecimal: a shape meets both.
std::string withValues(const std::string& shape, const std::vector<int64_t>& values, std::mt19937& random) {
  std::string text;
  size_t from = 0;
  for (int64_t value : values) {
    const size_t at = shape.find("{}", from);
    std::ostringstream magnitude;
    if (random() % 5 == 0) magnitude << "0x" << std::hex;
    magnitude << (value < 0 ? -value : value);
    text += shape.substr(from, at - from) + (value < 0 ? "-" : "") + magnitude.str();
    from = at + 2;
  }
  return text + shape.substr(from);
}

class ConstantShapeTest : public ParseTest {
 protected:
  ~ConstantShapeTest() override { isa::constantShapes().enabled = true; }

  // Parses the statements in a fresh run and describes what each line became.
  std::vector<std::string> outcome(const std::vector<std::string>& statements, bool shapes) {
    FreshRun fresh(*this);
    isa::constantShapes().enabled = shapes;
    isa::constantShapes().taken = 0;
    std::vector<const char*> source = {" .SDECL \".text\",CODE", " .SECT \".text\""};
    for (const std::string& statement : statements) source.push_back(statement.c_str());
    parse(source);
    taken = isa::constantShapes().taken;
    // By line number: the entries of a lean run keep no line.
    std::map<uint32_t, std::string> made;
    if (Section* text = lines.back()->section) {
      for (FlowNode* node = text->firstNode(); node; node = node->nextNode()) {
        // A run of fixed-size instructions is described entry by entry, as the nodes its
        // entries stand for: which statements share a run tells nothing about them.
        if (node->kind == FlowNode::kSimpleRun) {
          auto* run = static_cast<FSimpleRun*>(node);
          for (FSimpleRun::Cursor cursor(*run); !cursor.isDone(); cursor.next()) {
            const FSimpleRun::Item& entry = cursor.item();
            std::ostringstream text;
            text << "kind " << int(FlowNode::kSimple) << " cycles " << run->cyclesOf(entry) << " bits "
                 << int(entry.bits) << " image";
            for (uint32_t word = 0; word < 7; ++word) text << " 0";
            text << ' ' << std::hex << entry.image << std::dec << " usable 1 ";
            IPAttribute::print(text, *run->attributesOf(entry));
            made[entry.lineNumber()] += text.str() + "; ";
          }
          continue;
        }
        std::ostringstream text;
        text << "kind " << int(node->kind) << " cycles " << node->getCycles();
        if (node->kind == FlowNode::kSimple) {
          auto* simple = static_cast<FSimple*>(node);
          text << " bits " << int(simple->bitCount()) << " image";
          for (uint32_t word = 0; word < 8; ++word) text << ' ' << std::hex << simple->word(word) << std::dec;
          text << " usable " << simple->isUsable() << ' ';
          if (simple->attr) IPAttribute::print(text, *simple->attr);
        }
        made[node->line ? node->line->lineNumber : 0] += text.str() + "; ";
      }
    }
    std::vector<std::string> described;
    for (LineInfo* line : lines) described.push_back(made[line->lineNumber]);
    for (const std::string& diagnostic : diagnostics()) described.push_back(diagnostic);
    return described;
  }

  uint64_t taken = 0;
};

TEST_F(ConstantShapeTest, EveryConstantFormComesOutAsTheFullMatchMakesIt) {
  std::mt19937 random(27);
  std::vector<std::string> statements;
  size_t forms = 0;
  for (uint32_t a = 0; a < isa::matchAlternativeCount(); ++a) {
    const MatchAlternative& alternative = isa::matchAlternatives()[a];
    if (alternative.kind != isa::kHardwareForm) continue;
    const isa::FormInfo& info = isa::formInfo()[alternative.form];
    const std::string syntax = std::regex_replace(info.syntax, std::regex(R"(\(([^|()]*)\|[^()]*\))"), "$1");
    std::vector<std::string> shapes = shapesOf(info.firstMnemonic, syntax);
    if (shapes.empty()) continue;
    ++forms;
    // Each operand's range, and a value of one kind for it: at or past an end of the
    // range, 0, 1, 4 or -4, inside it, or near it.
    struct Range {
      int64_t low, high;
    };
    std::vector<Range> ranges;
    const std::regex rangeText(R"(n\[(-?[0-9]+)\.\.([0-9]+)\])");
    for (std::sregex_iterator it(syntax.begin(), syntax.end(), rangeText), done; it != done; ++it)
      ranges.push_back(Range{std::stoll((*it)[1]), std::stoll((*it)[2])});
    auto valueIn = [&](const Range& range, int kind) -> int64_t {
      switch (kind) {
        case 0: return range.low;
        case 1: return range.high;
        case 2: return range.low - 1;
        case 3: return range.high + 1;
        case 4: return 0;
        case 5: return 1;
        case 6: return 4;
        case 7: return -4;
        case 8: return std::uniform_int_distribution<int64_t>(range.low - 64, range.high + 64)(random);
        default: return std::uniform_int_distribution<int64_t>(range.low, range.high)(random);
      }
    };
    // A comment after the statement, with words that differ from line to line, changes
    // nothing of it.
    std::uniform_int_distribution<int> commentKind(0, 3);
    auto comment = [&] {
      switch (commentKind(random)) {
        case 0:
          return std::string(" ; note ") + std::to_string(random() % 1000);
        case 1:
          return std::string(";") + std::to_string(random() % 100);
        default:
          return std::string();
      }
    };
    for (const std::string& shape : shapes)
      for (int kind = 0; kind < 24; ++kind) {
        // Every value of one kind first, then kinds drawn for each operand apart.
        std::vector<int64_t> values;
        for (const Range& range : ranges)
          values.push_back(valueIn(range, kind < 10 ? kind : static_cast<int>(random() % 12)));
        statements.push_back(withValues(shape, values, random) + comment());
      }
  }
  ASSERT_GT(forms, 100u);
  // The shapes meet each other in every order, not one shape at a time.
  std::shuffle(statements.begin(), statements.end(), random);
  const std::vector<std::string> full = outcome(statements, false);
  const std::vector<std::string> kept = outcome(statements, true);
  // Many statements repeat a shape met before with a value its forms take alike.
  EXPECT_GT(taken, statements.size() / 8);
  ASSERT_EQ(kept.size(), full.size());
  size_t differing = 0;
  for (size_t i = 0; i < full.size() && differing < 10; ++i)
    if (kept[i] != full[i]) {
      ++differing;
      ADD_FAILURE() << (i < statements.size() + 2 && i >= 2 ? statements[i - 2] : std::string("diagnostic")) << "\n  full: "
                    << full[i] << "\n  kept: " << kept[i];
    }
}


// The text a shape is read from ends at the line's end or at the comment's ";", and holds at
// most 46 characters; a number stands after no name character and before a comma, a
// bracket, a blank, the comment or the end. Statements at each of those edges come out as
// the full match makes them, and a statement takes its shape's kept outcome exactly where
// the text before it has the same shape.
TEST_F(ConstantShapeTest, StatementsAtTheEdgesOfTheirTextComeOutAsTheFullMatchMakesThem) {
  const std::string pad(40, ' ');
  struct Case {
    const char* name;
    std::vector<std::string> statements;
    uint64_t taken;
  };
  const Case cases[] = {
      {"number before the comment", {" mov d1,#5;x", " mov d1,#6;yz", " mov d1,#7 ;w"}, 1},
      {"number before a blank", {" mov d1,#5 ", " mov d1,#6 "}, 1},
      {"hexadecimal and decimal share a shape", {" mov d1,#0x10", " mov d1,#0x1F", " mov d1,#9"}, 2},
      {"malformed numbers stay text", {" mov d1,#0x", " mov d1,#0x", " mov d1,#09", " mov d1,#08"}, 0},
      {"ten digits are no number", {" mov d1,#1234567890", " mov d1,#1234567891"}, 0},
      {"nine hexadecimal digits are no number", {" mov d1,#0x123456789", " mov d1,#0x123456788"}, 0},
      {"digits of a name are no number", {" mov d15,#3", " mov d15,#4", " mov d14,#4"}, 1},
      {"signs", {" mov d1,#-3", " mov d1,#-4", " mov d1,#~3", " mov d1,#~4", " mov d1,#+4"}, 2},
      {"number before another character", {" mov d1,#5+1", " mov d1,#6+1"}, 0},
      {"46 characters fit", {" mov d1,#5" + pad.substr(0, 36), " mov d1,#6" + pad.substr(0, 36)}, 1},
      {"47 characters do not", {" mov d1,#5" + pad.substr(0, 37), " mov d1,#6" + pad.substr(0, 37)}, 0},
      {"a comment cut at the last place",
       {" mov d1,#5" + pad.substr(0, 35) + "; a long comment", " mov d1,#6" + pad.substr(0, 35) + "; another"},
       1},
      {"a comment one place later",
       {" mov d1,#5" + pad.substr(0, 36) + "; a long comment", " mov d1,#6" + pad.substr(0, 36) + "; another"},
       0},
      {"digits that reach past the room", {" mov d1,#1" + pad.substr(0, 34) + "12", " mov d1,#2" + pad.substr(0, 34) + "12"}, 0},
      {"a quote keeps the comment", {" mov d1,#';'+5 ; x", " mov d1,#';'+6 ; x"}, 0},
      {"number at the end", {" ld.w d1,[a2]4", " ld.w d1,[a2]8", " ld.w d1,[a2]12;", " ld.w d1,[a2]16;c"}, 2},
      {"number before a comma", {" st.w [a2]4,d1", " st.w [a2]8,d1"}, 1},
      {"numbers at other places are another shape", {" ld.w d1,[a2]4", " ld.w d1 ,[a2]8", " ld.w d1,[a2] 12"}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<std::string> full = outcome(c.statements, false);
    const std::vector<std::string> kept = outcome(c.statements, true);
    EXPECT_EQ(taken, c.taken);
    EXPECT_EQ(kept, full);
  }
}

}  // namespace
