#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "driver/OrbaAssembler.h"
#include "expr/TEInteger.h"
#include "flow/FLabel.h"
#include "flow/Section.h"
#include "flow/SectionAdmin.h"
#include "flow/Symbol.h"
#include "flow/SymbolTable.h"
#include "preproc/LineState.h"
#include "util/ErrorHandler.h"
#include "util/LineInfo.h"
#include "util/OrbaFactory.h"
#include "util/OrbaState.h"
#include "util/RunSettings.h"
#include "util/StringBuffer.h"

namespace {

// A started assembler whose stages the tests call one by one.
class StagesTest : public testing::Test {
 protected:
  StagesTest() {
    assembler_ = std::make_unique<TriCoreAssembler>(2, argv_, &factory_);
    file_ = lineState()->sourceFileId("src/app/start.asm");
  }
  ~StagesTest() override {
    assembler_.reset();
  }

  Section* section(const char* name, uint8_t firstFlags) {
    LineInfo* defined = lineState()->appendLine(nullptr, file_, ++lineNumber_, 0);
    Section* made = orbaFactory()->createSection(defined, stringBuffer()->intern(name));
    made->flags.bytes[0] = firstFlags;
    sectionAdmin()->registerSection(made);
    return made;
  }

  std::vector<std::string> names() const {
    std::vector<std::string> listed;
    for (Section* s : sectionAdmin()->sections()) listed.emplace_back(s->getName());
    return listed;
  }

  TriCoreFactory factory_;
  char program_[5] = "vekt";
  char input_[24] = "src/app/start.asm";
  char* argv_[3] = {program_, input_, nullptr};
  std::unique_ptr<TriCoreAssembler> assembler_;
  int32_t file_ = 0;
  int32_t lineNumber_ = 0;
};

constexpr uint8_t kCode = Section::SectionFlags::kCodeBit;
constexpr uint8_t kDebug = Section::SectionFlags::kDebugBit;

TEST_F(StagesTest, AfterParseHandlesDebugSectionsByDebugMode) {
  struct Case {
    int32_t mode;
    bool asmDebugInfo;
    bool sourceDebugSection;  // a ".debug_info" of the source besides ".comment"
    std::vector<std::string> remaining;
    int32_t modeAfter;
    bool hllPresent;
    bool closingLabels;
  };
  const Case cases[] = {
      {0, false, true, {".text", ".comment"}, 0, false, false},
      {1, true, true, {".text", ".comment"}, 1, false, true},
      {2, false, true, {".text", ".debug_info", ".comment"}, 2, true, false},
      {2, false, false, {".text", ".comment"}, 2, false, false},
      {4, true, true, {".text", ".debug_info", ".comment"}, 2, true, false},
      {4, true, false, {".text", ".comment"}, 1, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << " source debug " << c.sourceDebugSection);
    assembler_.reset();
    assembler_ = std::make_unique<TriCoreAssembler>(2, argv_, &factory_);
    file_ = lineState()->sourceFileId("src/app/start.asm");
    orbaOptions()->debugInfoMode = c.mode;
    orbaOptions()->asmDebugInfo = c.asmDebugInfo;
    Section* text = section(".text", kCode);
    if (c.sourceDebugSection) section(".debug_info", kDebug);
    Section* comment = section(".comment", kDebug);
    comment->userSection = 0;  // as the assembler's own sections are

    assembler_->afterParse();
    EXPECT_EQ(names(), c.remaining);
    EXPECT_EQ(orbaOptions()->debugInfoMode, c.modeAfter);
    EXPECT_EQ(sectionAdmin()->hllDebugInfoPresent, c.hllPresent);
    EXPECT_EQ(text->nodeCount(), c.closingLabels ? 1u : 0u);
    EXPECT_EQ(comment->nodeCount(), 0u);
  }
}

TEST_F(StagesTest, ClosingLabelStandsOnANewLineAfterTheSectionsLastNode) {
  orbaOptions()->debugInfoMode = 1;
  orbaOptions()->asmDebugInfo = true;
  Section* empty = section(".data", Section::SectionFlags::kDataBit);
  Section* text = section(".text", kCode);
  LineInfo* statement = lineState()->appendLine(stringBuffer()->intern(" nop"), file_, 40, 0);
  LineInfo* after = lineState()->appendLine(nullptr, file_, 41, 0);
  text->addNode(new FLabel(statement, nullptr), true);

  assembler_->afterParse();
  ASSERT_EQ(text->nodeCount(), 2u);
  auto* closing = static_cast<FLabel*>(text->lastNode());
  EXPECT_EQ(closing->kind, FlowNode::kLabel);
  LineInfo* placed = closing->line;
  EXPECT_EQ(statement->next, placed);
  EXPECT_EQ(placed->next, after);
  EXPECT_EQ(placed->lineNumber, 40u);
  EXPECT_EQ(placed->text, nullptr);
  EXPECT_EQ(placed->section, text);
  Symbol* symbol = closing->symbol;
  ASSERT_NE(symbol, nullptr);
  EXPECT_EQ(std::string(symbol->name).rfind("__T", 0), 0u);
  EXPECT_EQ(symbol->section, text);
  EXPECT_TRUE(symbol->isLocal());
  EXPECT_TRUE(symbol->isUsed());
  EXPECT_FALSE(symbol->isRelocatable());

  // A section without nodes gets its label after the line that made it.
  ASSERT_EQ(empty->nodeCount(), 1u);
  EXPECT_EQ(empty->line->next, empty->lastNode()->line);
}

TEST_F(StagesTest, CheckSymbolsRunsBothChecksOverEverySymbol) {
  LineInfo* at = lineState()->appendLine(nullptr, file_, 7, 0);
  SymbolTable* table = symbolTable();
  Symbol* weak = table->current->defineSymbol(stringBuffer()->intern("weakly"), at);
  Symbol* unused = table->current->defineSymbol(stringBuffer()->intern("unused"), at);
  ASSERT_NE(weak, nullptr);
  ASSERT_NE(unused, nullptr);
  weak->flags[1] |= Symbol::kWeak;
  unused->flags[1] |= Symbol::kLocal;
  unused->flags[0] &= static_cast<uint8_t>(~Symbol::kInternal);
  assembler_->checkSymbols();
  EXPECT_TRUE(weak->isGlobal());
  EXPECT_FALSE(weak->isLocal());
  int w202 = 0;
  for (ErrorHandler::ErrorIter it(*errorHandler()); !it.isDone(); it.next())
    if (std::string(it.current()->text) == "W202: symbol \"unused\" defined but not used") ++w202;
  EXPECT_EQ(w202, 1);
}

TEST_F(StagesTest, FinishSectionsNamesAndChecksEverySection) {
  Section* once = section("helper@x", kCode);
  once->linkOnceKey = stringBuffer()->intern("k");
  Section* parted = section("code@part@2", kCode);
  Section* placed = section("fixed", kCode);
  placed->hasAddress = 1;
  placed->setBaseExpression(TEInteger::create(0x1FF));
  placed->pageSize = 256;
  placed->size = 2;
  assembler_->finishSections();
  EXPECT_STREQ(once->getName(), ".zelkova.linkonce.helper@x.k");
  EXPECT_STREQ(once->getDisplayName(), "helper@x");
  EXPECT_STREQ(parted->getName(), "code");
  std::vector<std::string> texts;
  for (ErrorHandler::ErrorIter it(*errorHandler()); !it.isDone(); it.next()) texts.emplace_back(it.current()->text);
  EXPECT_EQ(texts, std::vector<std::string>{"E223: section \"fixed\": page boundary crossed"});
}

TEST_F(StagesTest, StatisticsNameIsTheFileNameWithoutItsLastExtension) {
  struct Case {
    const char* input;
    const char* name;
  };
  const Case cases[] = {
      {"src/app/start.asm", "start"}, {"start", "start"}, {"a.b.asm", "a.b"}, {"/x/y/.hidden", ""},
      {"dir.d/file", "file"},
  };
  for (const Case& c : cases) EXPECT_EQ(OrbaAssembler::statisticsName(c.input), c.name) << c.input;
}

TEST_F(StagesTest, SectionStatisticsAddUpCodeSectionsOnly) {
  Section* first = section(".text", kCode);
  first->size = 0x10;
  first->cycles = 0x100000000ULL;
  Section* second = section(".text.b", kCode);
  second->size = 6;
  second->cycles = 5;
  Section* data = section(".data", Section::SectionFlags::kDataBit);
  data->size = 100;
  data->cycles = 100;
  Section* placeholder = section("", kCode);
  placeholder->size = 1000;
  runState().placeholderSection = placeholder;

  testing::internal::CaptureStdout();
  assembler_->writeSectionStatistics("start");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "# cs.as.start=22\n# estcy.as.start=4294967301\n");
}

TEST_F(StagesTest, StatisticsWithoutCodeSectionsAreZero) {
  testing::internal::CaptureStdout();
  assembler_->writeStatistics();
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("# cpu.as.start=", 0), 0u);
  EXPECT_NE(out.find("\n# cs.as.start=0\n# estcy.as.start=0\n"), std::string::npos);
}

}  // namespace
