// The node kinds other targets' directives make: filled blocks, buffers, offsets and
// parallel blocks, laid out and written like the rest of a section.
#include <sstream>
#include <string>
#include <vector>

#include "DataFixture.h"
#include "flow/SpareNodes.h"

namespace {

using SpareNodesTest = DataNodeTest;

TEST_F(SpareNodesTest, BlockRepeatsItsFillOverItsItems) {
  struct Case {
    const char* count;
    const char* fill;  // null: none
    uint8_t itemBits;
    bool cleared;
    std::string image;
    std::vector<std::string> messages;
  } cases[] = {
      {"3", "0xAB", 8, false, "ab ab ab", {}},
      {"2", "0x1234", 16, false, "12 34 12 34", {}},
      {"2", nullptr, 16, false, "00 00 00 00", {}},
      {"1", "\"ABC\"", 16, false, "41 42", {"W215: string value truncated to 2 characters@5"}},
      {"2", "1.5", 8, false, "00 00", {"E239: integer or string value expected@5"}},
      {"0", "1", 8, false, "", {"W242: no storage allocated for \".BLOCK\"@5"}},
      {"-2", "1", 8, false, "", {"W242: no storage allocated for \".BLOCK\"@5"}},
      {"2", "1", 8, true, "", {"E252: \".BLOCK\" cannot be encoded in uninitialized or cleared section@5"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.count) + " of " + (c.fill ? c.fill : "-"));
    Section* in = dataSection(c.cleared);
    LineInfo* statement = at(5, in);
    in->addNode(new FBlock(statement, parse(c.count, statement), c.fill ? parse(c.fill, statement) : nullptr,
                           ".BLOCK", 1, 8, c.itemBits, false),
                true);
    layOutAndWrite(in);
    EXPECT_EQ(imageBytes(), c.image);
    EXPECT_EQ(diagnostics(), c.messages);
    delete runState().errorHandler;
    runState().errorHandler = new ErrorHandler();
  }
}

TEST_F(SpareNodesTest, BufferEndAndOffsetFillUpToWhereTheyPoint) {
  // Each flow: an optional buffer of `bufferSize` (mode 'R' asks for a power of two),
  // `inside` units of storage, the buffer's end; then an offset node.
  struct Case {
    const char* name;
    char mode;
    const char* bufferSize;
    uint32_t inside;
    const char* offset;  // null: none
    uint32_t sectionSize;
    std::vector<std::string> messages;
  } cases[] = {
      {"buffer filled up to its end", 'R', "8", 3, nullptr, 8, {}},
      {"size not a power of two", 'R', "6", 2, nullptr, 6, {"W131: buffer size is not a power of 2@1"}},
      {"contents past the end", ' ', "2", 4, nullptr, 4, {"E105: buffer size exceeds allocated space@3"}},
      {"offset ahead", ' ', "4", 0, "10", 10, {}},
      {"offset behind", ' ', "4", 4, "2", 4, {"E185: current location exceeds requested offset@4"}},
      {"offset not an integer", ' ', "4", 0, "\"x\" == 1.0", 4, {"E184: expected absolute offset expression@4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Section* in = dataSection();
    LineInfo* first = at(1, in);
    auto* buffer = new FBuffer(first, c.mode, parse(c.bufferSize, first));
    in->addNode(buffer, true);
    LineInfo* second = at(2, in);
    auto* filler = new FBlock(second, parse(std::to_string(c.inside).c_str(), second), nullptr, ".BLOCK", 1, 8, 8,
                              false);
    if (c.inside) in->addNode(filler, true); else delete filler;
    in->addNode(new FEndbuf(at(3, in), buffer), true);
    if (c.offset) {
      LineInfo* fourth = at(4, in);
      in->addNode(new FOffset(fourth, parse(c.offset, fourth)), true);
    }
    layOutAndWrite(in);
    EXPECT_EQ(in->size, c.sectionSize);
    EXPECT_EQ(static_cast<uint32_t>(in->locationCounter), c.sectionSize);
    EXPECT_EQ(diagnostics(), c.messages);
    delete runState().errorHandler;
    runState().errorHandler = new ErrorHandler();
  }
}

TEST_F(SpareNodesTest, ParallelBlockTakesItsChildrenInOrder) {
  Section* in = dataSection();
  LineInfo* statement = at(1, in);
  auto* block = new FParallel(statement);
  LineInfo* left = at(2, in);
  LineInfo* right = at(3, in);
  block->append(new FBlock(left, parse("2", left), parse("0x11", left), ".BLOCK", 1, 8, 8, false));
  block->append(new FBlock(right, parse("1", right), parse("0x22", right), ".BLOCK", 1, 8, 8, false));
  block->children.first()->cycles = 2;
  block->children.last()->cycles = 3;
  in->addNode(block, true);
  layOutAndWrite(in);
  EXPECT_EQ(in->size, 3u);
  EXPECT_EQ(imageBytes(), "11 11 22");
  EXPECT_EQ(right->codeAddress(), 2);
  EXPECT_EQ(block->getCycles(), 5);
  FlowNode* copy = block->clone();
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(static_cast<FParallel*>(copy)->children.empty()) << "the children stay with the original";
  delete copy;
  std::ostringstream text;
  block->dump(text);
  EXPECT_EQ(text.str().rfind("FParallel()\n", 0), 0u);
  EXPECT_NE(text.str().find("FParallel() end\n"), std::string::npos);
}

}  // namespace
