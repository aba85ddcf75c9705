#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "DirectiveFixture.h"
#include "parser/LineFlags.h"
#include "expr/TEInteger.h"
#include "flow/FReset.h"
#include "flow/Section.h"
#include "flow/SectionAdmin.h"
#include "flow/SectionType.h"
#include "flow/Symbol.h"
#include "parser/SectionOperations.h"

namespace {

class SectionDeclarationTest : public DirectiveTest {
 protected:
  // The latest registered section.
  static Section* latest() { return runState().sectionAdmin->sections().back(); }

  const char* key(const char* text) { return runState().stringBuffer->intern(text); }
};

// The flags as their names, in flag-byte order.
std::string flagNames(const Section& section) {
  const Section::SectionFlags& f = section.flags;
  std::string names;
  auto add = [&names](bool on, const char* name) {
    if (!on) return;
    if (!names.empty()) names += ' ';
    names += name;
  };
  add(f.isCode(), "code");
  add(f.isData(), "data");
  add(f.isDebug(), "debug");
  add(f.isInit(), "init");
  add(f.isRom(), "rom");
  add(f.isClear(), "clear");
  add(f.isMax(), "max");
  add(f.isConcat(), "concat");
  add(f.isNoRead(), "noread");
  add(f.isProtect(), "protect");
  add(f.powerOfTwoAlignment(), "typed");
  return names;
}

std::string e704(const char* word, const char* section) {
  return std::string("E704: section attribute \"") + word + "\" not allowed with section \"" + section + "\"@3";
}

std::string e705(const char* first, const char* second) {
  return std::string("E705: section attribute \"") + first + "\" conflicts with attribute \"" + second + "\"@3";
}

TEST_F(SectionDeclarationTest, FlagsFollowTypeAttributesAndNamePrefix) {
  struct Case {
    const char* name;
    int32_t type;
    std::vector<int32_t> attributes;
    bool address;
    const char* flags;
    std::vector<std::string> messages;
  } cases[] = {
      // Names with a known prefix take its defaults whatever the type; letter case aside.
      {".bss.buf", Section::kData, {}, false, "data clear typed", {}},
      {".bss.buf", Section::kData, {kAttrNoClear}, false, "data typed", {}},
      {".bss.buf", Section::kData, {kAttrMax}, false, "data max typed", {}},
      {".bss.buf", Section::kData, {kAttrInit}, false, "data clear typed", {e704("INIT", ".bss.buf")}},
      {".BSS", Section::kData, {}, false, "data clear typed", {}},
      {".zbss.a", Section::kData, {kAttrNoClear, kAttrInit}, false, "data typed", {e704("INIT", ".zbss.a")}},
      {".Text.x", Section::kData, {}, false, "code typed", {}},
      {".textual", Section::kData, {kAttrInit}, false, "code init typed", {}},
      {".rodata.t", Section::kData, {}, false, "data init rom typed", {}},
      {".rodata.t", Section::kData, {kAttrInit}, false, "data init typed", {}},
      {".ldata.x", Section::kData, {}, false, "data init rom typed", {}},
      {".sdata.x", Section::kData, {kAttrRom}, false, "data init rom typed", {}},
      {".data.x", Section::kData, {kAttrClear, kAttrMax}, false, "data init typed",
       {e705("MAX", "CLEAR"), e704("CLEAR", ".data.x"), e704("MAX", ".data.x")}},
      {".debug_info", Section::kData, {}, false, "debug typed", {}},
      // Without a known prefix the type decides.
      {"buf", Section::kData, {}, false, "data init typed", {}},
      {"buf", Section::kData, {kAttrClear, kAttrNoClear}, false, "data clear typed", {e705("NOCLEAR", "CLEAR")}},
      {"buf", Section::kData, {kAttrClear, kAttrMax}, false, "data clear max typed", {e705("MAX", "CLEAR")}},
      {"buf", Section::kData, {kAttrClear, kAttrRom, kAttrInit}, false, "data init rom typed",
       {e705("CLEAR", "ROM")}},
      {"buf", Section::kData, {kAttrInit, kAttrClear}, false, "data init typed", {e705("CLEAR", "INIT")}},
      {"buf", Section::kData, {kAttrConcat}, true, "data init typed", {e705("AT", "CONCAT")}},
      {"buf", Section::kData, {kAttrConcat}, false, "data init concat typed", {}},
      {"buf", Section::kData, {kAttrNoRead, kAttrProtect, kAttrAbs18}, false, "data init protect typed",
       {e704("noread", "buf")}},
      {"c", Section::kCode, {kAttrNoRead, kAttrProtect, kAttrAbs24}, false, "code noread protect typed", {}},
      {"code1", Section::kCode, {kAttrMax}, false, "code typed", {e704("max", "code1")}},
      {"code1", Section::kCode, {kAttrInit, kAttrConcat, kAttrAbs18}, false, "code init typed",
       {e704("concat", "code1"), e704("abs18", "code1")}},
      {"r", Section::kRomData, {kAttrRom}, false, "data init rom typed", {}},
      {"r", Section::kRomData, {kAttrInit}, false, "data init rom typed", {e704("init", "r")}},
      {"dbg", Section::kDebug, {kAttrMax}, false, "debug typed", {e704("max", "dbg")}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<SectionAttribute> attributes;
    for (int32_t code : c.attributes) attributes.push_back({code, nullptr});
    LineInfo* at = line(3);
    OrbaExpression* address = c.address ? TEInteger::create(0x1000) : nullptr;
    ASSERT_TRUE(declareSection(at, key(c.name), c.type, attributes, address));
    Section* made = latest();
    EXPECT_STREQ(made->getName(), c.name);
    EXPECT_EQ(flagNames(*made), c.flags);
    EXPECT_EQ(made->type, c.type);
    EXPECT_EQ(made->secondType, c.type);
    EXPECT_EQ(made->hasAddress, c.address ? 1 : 0);
    EXPECT_EQ(made->addressRanges, (std::vector<std::pair<int64_t, int64_t>>{{0, 0xFFFFFFFF}}));
    EXPECT_EQ(diagnostics(), c.messages);
    // The declaration marks its line and leaves the current section alone.
    EXPECT_EQ(at->flags[1], lineflag::kSectionDirective);
    EXPECT_EQ(at->section, nullptr);
    clearDiagnostics();
  }
}

TEST_F(SectionDeclarationTest, ClusterAndLinkOnceKeepTheirTextTheLaterWinning) {
  std::vector<SectionAttribute> attributes = {
      {kAttrCluster, key("first")}, {kAttrLinkOnce, key("k")}, {kAttrCluster, key("second")}};
  ASSERT_TRUE(declareSection(line(3), key("buf"), Section::kData, attributes, nullptr));
  EXPECT_STREQ(latest()->clusterName, "second");
  EXPECT_STREQ(latest()->linkOnceKey, "k");

  ASSERT_TRUE(declareSection(line(3), key("dbg"), Section::kDebug, {{kAttrCluster, key("grp")}}, nullptr));
  EXPECT_STREQ(latest()->clusterName, "grp");
  EXPECT_EQ(latest()->linkOnceKey, nullptr);
  EXPECT_EQ(diagnostics(), std::vector<std::string>{});
}

TEST_F(SectionDeclarationTest, DebugSectionSymbolIsNotRelocatable) {
  ASSERT_TRUE(declareSection(line(3), key(".debug_line"), Section::kDebug, {}, nullptr));
  ASSERT_NE(latest()->sectionSymbol, nullptr);
  EXPECT_FALSE(latest()->sectionSymbol->isRelocatable());
}

TEST_F(SectionDeclarationTest, SectionMadeOnDemandIsCode) {
  Section* placeholder = makePlaceholder();
  LineInfo* at = line(4, placeholder);
  placeholder->addNode(new FReset(at), true);  // no address: stays
  EXPECT_EQ(runState().sectionAdmin->sections().size(), 1u);
  class Placed : public FReset {
   public:
    using FReset::FReset;
    bool hasAddress() const override { return true; }
  };
  placeholder->addNode(new Placed(at), true);
  ASSERT_EQ(runState().sectionAdmin->sections().size(), 2u);
  EXPECT_EQ(at->section, latest());
  EXPECT_EQ(flagNames(*latest()), "code");
  EXPECT_EQ(latest()->type, Section::kNoType);
}

TEST_F(SectionDeclarationTest, TypeAndAttributeWordsMatchAsPrefixesIgnoringCase) {
  struct Case {
    const char* text;
    bool attribute;
    int32_t code;
    size_t consumed;
  } cases[] = {
      {"CODE", false, Section::kCode, 4},
      {" \tCode,", false, Section::kCode, 6},
      {"codes", false, Section::kCode, 4},
      {"romdata", false, Section::kRomData, 7},
      {"debug", false, Section::kDebug, 5},
      {"DaTa", false, Section::kData, 4},
      {"text", false, 0, 1},
      {"\ncode", false, 0, 1},
      {"", false, 0, 0},
      {"LinkOnce(", true, kAttrLinkOnce, 8},
      {"romx", true, kAttrRom, 3},
      {"abs1", true, 0, 1},
      {" \t max", true, kAttrMax, 6},
      {"NOCLEAR", true, kAttrNoClear, 7},
      {"noread", true, kAttrNoRead, 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const char* end = nullptr;
    int32_t code = c.attribute ? matchSectionAttribute(c.text, &end) : matchSectionType(c.text, &end);
    EXPECT_EQ(code, c.code);
    EXPECT_EQ(static_cast<size_t>(end - c.text), c.consumed);
  }
  for (int32_t code = kAttrAbs18; code <= kAttrRom; ++code) {
    const char* end = nullptr;
    EXPECT_EQ(matchSectionAttribute(sectionAttributeWord(code), &end), code);
  }
  EXPECT_EQ(sectionAttributeWord(100), nullptr);
}

TEST_F(SectionDeclarationTest, SectSelectsLatestDeclarationByExactName) {
  Section* placeholder = makePlaceholder();
  ASSERT_TRUE(declareSection(line(1), key(".text"), Section::kCode, {}, nullptr));
  Section* first = latest();
  ASSERT_TRUE(declareSection(line(2), key(".text"), Section::kCode, {}, nullptr));
  Section* second = latest();

  LineInfo* select = line(3, placeholder);
  ASSERT_TRUE(selectSection(select, key(".text"), 0));
  EXPECT_EQ(select->section, second);
  EXPECT_NE(select->section, first);
  EXPECT_EQ(previousSection(), placeholder);
  EXPECT_EQ(select->flags[1], lineflag::kSectionSwitched | lineflag::kSectionDirective);

  LineInfo* wrongCase = line(4, second);
  EXPECT_FALSE(selectSection(wrongCase, key(".Text"), 0));
  EXPECT_EQ(wrongCase->section, second);
  EXPECT_EQ(wrongCase->flags[1], 0);
  EXPECT_EQ(previousSection(), placeholder);
  EXPECT_EQ(diagnostics(), std::vector<std::string>{"E701: section \".Text\" is not defined@4"});
}

TEST_F(SectionDeclarationTest, ResetAddsResetNodeOnlyToMaxSection) {
  ASSERT_TRUE(declareSection(line(1), key("ovl"), Section::kData, {{kAttrMax, nullptr}}, nullptr));
  Section* overlay = latest();
  ASSERT_TRUE(declareSection(line(2), key("plain"), Section::kData, {}, nullptr));
  Section* plain = latest();

  constexpr int32_t kReset = 121;
  ASSERT_TRUE(selectSection(line(3, plain), key("ovl"), kReset));
  ASSERT_TRUE(selectSection(line(4, overlay), key("ovl"), kReset));
  EXPECT_EQ(kinds(overlay), (std::vector<int>{FlowNode::kReset, FlowNode::kReset}));
  EXPECT_EQ(overlay->lastNode()->line->lineNumber, 4u);

  LineInfo* noMax = line(5, overlay);
  ASSERT_TRUE(selectSection(noMax, key("plain"), kReset));
  EXPECT_EQ(noMax->section, plain);
  EXPECT_EQ(kinds(plain), std::vector<int>{});
  EXPECT_EQ(diagnostics(), std::vector<std::string>{
                               "W700: section \"plain\" has no \"MAX\" attribute; \"RESET\" will be ignored@5"});
}

TEST_F(SectionDeclarationTest, PreviousReturnsOnceToTheSectionBeforeTheLastSwitch) {
  Section* placeholder = makePlaceholder();
  ASSERT_TRUE(declareSection(line(1), key("a"), Section::kData, {}, nullptr));
  Section* a = latest();
  ASSERT_TRUE(declareSection(line(2), key("b"), Section::kData, {}, nullptr));
  Section* b = latest();

  LineInfo* atStart = line(3, placeholder);
  EXPECT_FALSE(selectPreviousSection(atStart, ".PREVIOUS"));
  EXPECT_EQ(atStart->section, placeholder);

  // From the placeholder there is nothing to return to.
  ASSERT_TRUE(selectSection(line(4, placeholder), key("a"), 0));
  LineInfo* fromFirst = line(5, a);
  EXPECT_FALSE(selectPreviousSection(fromFirst, ".PREVIOUS"));
  EXPECT_EQ(fromFirst->section, a);

  ASSERT_TRUE(selectSection(line(6, a), key("b"), 0));
  LineInfo* back = line(7, b);
  ASSERT_TRUE(selectPreviousSection(back, ".PREVIOUS"));
  EXPECT_EQ(back->section, a);
  EXPECT_EQ(back->flags[1], lineflag::kSectionSwitched | lineflag::kSectionDirective);
  EXPECT_EQ(previousSection(), nullptr);

  LineInfo* again = line(8, a);
  EXPECT_FALSE(selectPreviousSection(again, ".PREVIOUS"));
  EXPECT_EQ(again->section, a);
  EXPECT_EQ(diagnostics(), (std::vector<std::string>{"E178: unmatched .PREVIOUS directive found@3",
                                                     "E291: no previous section definition found@5",
                                                     "E291: no previous section definition found@8"}));
}

TEST_F(SectionDeclarationTest, OrgOpensNamelessSectionNamedByItsKind) {
  struct Case {
    int32_t type;
    std::vector<int32_t> attributes;
    bool address;
    const char* prefix;  // put in front of the generated name
    const char* flags;
    std::vector<std::string> messages;
  } cases[] = {
      {0, {}, false, "", "", {}},
      {0, {}, true, "", "", {}},
      {Section::kCode, {}, false, ".text.", "code typed", {}},
      {Section::kData, {kAttrClear}, true, ".data.", "data clear typed", {}},
      {Section::kRomData, {}, false, ".data.", "data init rom typed", {}},
      {Section::kDebug, {}, false, "", "debug typed", {}},
      {Section::kCode, {kAttrMax}, false, ".text.", "code typed",
       {"E704: section attribute \"max\" not allowed with section \"<nameless section>\"@3"}},
  };
  Section* placeholder = makePlaceholder();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    std::vector<SectionAttribute> attributes;
    for (int32_t code : c.attributes) attributes.push_back({code, nullptr});
    LineInfo* at = line(3, placeholder);
    ASSERT_TRUE(openNamelessSection(at, c.address ? TEInteger::create(0x80000000) : nullptr, c.type, attributes));
    Section* made = latest();
    EXPECT_EQ(at->section, made);
    EXPECT_EQ(previousSection(), placeholder);
    EXPECT_EQ(at->flags[1], lineflag::kSectionSwitched | lineflag::kSectionDirective);
    std::string name = made->getName();
    size_t prefixLength = std::strlen(c.prefix);
    EXPECT_EQ(name.substr(0, prefixLength), c.prefix);
    EXPECT_EQ(name.substr(prefixLength, 7), "__sect_");
    EXPECT_EQ(made->type, c.type);
    EXPECT_EQ(made->hasAddress, c.address ? 1 : 0);
    EXPECT_EQ(flagNames(*made), c.flags);
    EXPECT_EQ(diagnostics(), c.messages);
    clearDiagnostics();
  }
}

}  // namespace
