#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ElfStoreFixture.h"
#include "objlib/ios_callgraph.h"
#include "objlib/ios_group.h"

namespace {

constexpr uint32_t SHT_PROGBITS = 1, SHT_GROUP = 17, SHT_SYMTAB_SHNDX = 18;
constexpr uint32_t SHF_GROUP = 0x200;
constexpr uint32_t kCallInfoType = 0x7f000001;

using ElfExtra = ElfStore;

std::vector<uint32_t> wordsOf(const ElfImage& elf, const ReadSection& section) {
  std::vector<uint32_t> words;
  for (uint32_t at = section.offset; at + 4 <= section.offset + section.size; at += 4) words.push_back(elf.u32(at));
  return words;
}

std::string bytesOf(const ElfImage& elf, const ReadSection& section) {
  return std::string(elf.bytes.begin() + section.offset, elf.bytes.begin() + section.offset + section.size);
}

TEST_F(ElfExtra, AGroupOfTwoListsItsMembersWhichCarryTheGroupFlag) {
  std::vector<uint8_t> code{0, 0};
  IosHandle first = section(".text.a", 2, &code, true);
  section(".text.b", 2, &code, true);
  IosHandle second = section(".text.c", 2, &code, true);
  IosHandle group{};
  ASSERT_EQ(ios_group_create(file_, text("grp"), &group, nullptr), 0);
  ASSERT_EQ(ios_section_add_to_group(group, second, nullptr), 0);
  ASSERT_EQ(ios_section_add_to_group(group, first, nullptr), 0);

  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  std::vector<ReadSection> sections = elf.sections();
  int index = elf.sectionIndex("group");
  ASSERT_GT(index, 0);
  const ReadSection& header = sections[index];
  EXPECT_EQ(header.type, SHT_GROUP);
  EXPECT_EQ(header.link, 3u);
  EXPECT_EQ(header.info, 0u);
  EXPECT_EQ(header.offset % 4, 0u);
  uint32_t a = static_cast<uint32_t>(elf.sectionIndex(".text.a"));
  uint32_t c = static_cast<uint32_t>(elf.sectionIndex(".text.c"));
  EXPECT_EQ(wordsOf(elf, header), (std::vector<uint32_t>{0, c, a}));
  EXPECT_EQ(sections[a].flags & SHF_GROUP, SHF_GROUP);
  EXPECT_EQ(sections[c].flags & SHF_GROUP, SHF_GROUP);
  EXPECT_EQ(sections[elf.sectionIndex(".text.b")].flags & SHF_GROUP, 0u);
  // Group sections come right after the store sections.
  EXPECT_EQ(index, elf.sectionIndex(".text.c") + 1);
}

TEST_F(ElfExtra, AbsoluteOutputHasNeitherGroupNorCallInformation) {
  std::vector<uint8_t> code{0, 0};
  IosHandle text_section = section(".text", 2, &code, true);
  IosHandle group{};
  ASSERT_EQ(ios_group_create(file_, text("grp"), &group, nullptr), 0);
  ASSERT_EQ(ios_section_add_to_group(group, text_section, nullptr), 0);
  IosHandle f = symbol(globalScope(), "f", &text_section);
  ASSERT_EQ(ios_callgraph_record(file_, f.object_id, 0, 0, 8, 1, nullptr), 0);
  ASSERT_EQ(ios_callgraph_resolve(file_, nullptr), 0);
  ASSERT_EQ(ios_file_set_mode_word(file_, 1, nullptr), 0);

  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  EXPECT_EQ(elf.type(), 2);
  EXPECT_EQ(elf.sectionIndex("group"), -1);
  EXPECT_EQ(elf.sectionIndex(".zelkova.callinfo"), -1);
  EXPECT_EQ(elf.sections()[elf.sectionIndex(".text")].flags & SHF_GROUP, 0u);
}

TEST_F(ElfExtra, AttributeWordsAreMaskedForTriCore) {
  struct Case {
    const char* name;
    std::function<void(IosHandle)> attributes;
    uint32_t expected;  // 0: no pair and no section
  };
  const Case cases[] = {
      {"class 4 (max)", [](IosHandle s) { ios_section_set_class(s, 4, nullptr); }, 0x8},
      {"class 3 is masked", [](IosHandle s) { ios_section_set_class(s, 3, nullptr); }, 0},
      {"class 1 is masked", [](IosHandle s) { ios_section_set_class(s, 1, nullptr); }, 0},
      {"content 4", [](IosHandle s) { ios_section_set_content_kind4(s, nullptr); }, 0x80},
      {"class 4 with content 4",
       [](IosHandle s) {
         ios_section_set_class(s, 4, nullptr);
         ios_section_set_content_kind4(s, nullptr);
       },
       0x88},
      {"placement is masked", [](IosHandle s) { ios_section_set_placement(s, 1, nullptr); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TearDown();
    SetUp();
    section(".plain", 4, nullptr);
    IosHandle attributed = section(".attributed", 4, nullptr);
    c.attributes(attributed);
    ElfImage elf;
    ASSERT_EQ(write(&elf), 0u);
    int index = elf.sectionIndex("zelkova.attributes");
    if (c.expected == 0) {
      EXPECT_EQ(index, -1);
      continue;
    }
    ASSERT_GT(index, 0);
    const ReadSection header = elf.sections()[index];
    EXPECT_EQ(header.type, SHT_PROGBITS);
    uint32_t own = static_cast<uint32_t>(elf.sectionIndex(".attributed"));
    EXPECT_EQ(wordsOf(elf, header),
              (std::vector<uint32_t>{1, static_cast<uint32_t>(index), header.offset, 2, 1, own, c.expected}));
  }
}

TEST_F(ElfExtra, MisraCTextIsReversedUnlessItStartsWithM) {
  struct Case {
    const char* text;
    const char* expected;
  };
  const Case cases[] = {{"abc", "cba"}, {"M1.1,2.3", "M1.1,2.3"}, {"1.1,2.3", "3.2,1.1"}, {"x", "x"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TearDown();
    SetUp();
    ASSERT_EQ(ios_file_set_misrac_text(file_, c.text, nullptr), 0);
    ElfImage elf;
    ASSERT_EQ(write(&elf), 0u);
    int index = elf.sectionIndex(".zelkova.misrac");
    ASSERT_GT(index, 0);
    const ReadSection header = elf.sections()[index];
    EXPECT_EQ(header.type, SHT_PROGBITS);
    EXPECT_EQ(header.flags, 0u);
    EXPECT_EQ(bytesOf(elf, header), c.expected);
    // The MISRA-C section is the last header.
    EXPECT_EQ(static_cast<size_t>(index), elf.sections().size() - 1);
  }
}

TEST_F(ElfExtra, NoMisraCTextNoSection) {
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  EXPECT_EQ(elf.sectionIndex(".zelkova.misrac"), -1);
  EXPECT_EQ(elf.sectionIndex(".zelkova.callinfo"), -1);
}

TEST_F(ElfExtra, CallInformationWalksEachRootDepthFirstAndRepeatsTheAliases) {
  std::vector<uint8_t> code(8, 0);
  IosHandle text_section = section(".text", 8, &code, true);
  IosHandle scope = globalScope();
  IosHandle main_symbol = symbol(scope, "main", &text_section, 0);
  IosHandle f = symbol(scope, "f", &text_section, 2);
  IosHandle g = symbol(scope, "g", &text_section, 4);
  IosHandle alias = symbol(scope, "a", &text_section, 2);
  IosHandle lone = symbol(scope, "lone", &text_section, 6);
  auto call = [&](IosHandle caller, IosHandle callee, uint32_t value) {
    ASSERT_EQ(ios_callgraph_record(file_, caller.object_id, callee.object_id, 0, value, 1, nullptr), 0);
  };
  call(main_symbol, f, 16);
  call(main_symbol, alias, 8);
  call(f, g, 4);
  call(main_symbol, g, 2);
  ASSERT_EQ(ios_callgraph_record(file_, main_symbol.object_id, 0, 0, 32, 1, nullptr), 0);
  ASSERT_EQ(ios_callgraph_record(file_, lone.object_id, 0, 0, 40, 1, nullptr), 0);
  ASSERT_EQ(ios_alias_add_record(file_, alias, f, nullptr), 0);
  ASSERT_EQ(ios_callgraph_resolve(file_, nullptr), 0);

  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  int index = elf.sectionIndex(".zelkova.callinfo");
  ASSERT_GT(index, 0);
  const ReadSection header = elf.sections()[index];
  EXPECT_EQ(header.type, kCallInfoType);
  EXPECT_EQ(header.link, 3u);
  EXPECT_EQ(header.info, 1u);
  EXPECT_EQ(header.entsize, 16u);

  std::vector<ReadSymbol> symbols = elf.symbols();
  auto indexOf = [&](const char* name) {
    for (size_t at = 0; at < symbols.size(); ++at)
      if (symbols[at].name == name) return static_cast<uint32_t>(at);
    ADD_FAILURE() << name;
    return 0u;
  };
  uint32_t M = indexOf("main"), F = indexOf("f"), G = indexOf("g"), A = indexOf("a"), L = indexOf("lone");
  // main's callees in ascending symbol id: f (merged with a: larger value, two
  // calls), then g; g is listed once, under f.
  std::vector<uint32_t> expected{
      M, 0, 32, 0,  //
      M, F, 16, 2,  //
      F, 0, 0, 0,   //
      F, G, 4, 1,   //
      G, 0, 0, 0,   //
      M, G, 2, 1,   //
      A, 0xFFFFFFFF, 0, F,
      L, 0, 40, 0,  //
      A, 0xFFFFFFFF, 0, F,
  };
  EXPECT_EQ(wordsOf(elf, header), expected);
}

TEST_F(ElfExtra, SymbolsInSectionsPastTheExtendedIndexGetSymtabShndx) {
  constexpr uint32_t kSections = 0xff00;
  IosHandle last{};
  for (uint32_t count = 0; count < kSections; ++count) {
    ASSERT_EQ(ios_section_create(file_, nullptr, &last, nullptr), 0);
    ASSERT_EQ(ios_section_set_name(last, text(".s"), nullptr), 0);
    ASSERT_EQ(ios_section_set_type_normal(last, nullptr), 0);
    ASSERT_EQ(ios_section_set_mau_size(last, 8, nullptr), 0);
  }
  symbol(globalScope(), "high", &last, 0);
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  EXPECT_EQ(elf.shnum(), 0);
  std::vector<ReadSection> sections;
  // e_shnum is 0: the count lives in header 0's sh_size.
  uint32_t count = elf.u32(elf.shoff() + 20);
  for (uint32_t index = 0; index < count; ++index) {
    size_t at = elf.shoff() + size_t{index} * elf.shentsize();
    sections.push_back({"", elf.u32(at + 4), elf.u32(at + 8), elf.u32(at + 12), elf.u32(at + 16),
                        elf.u32(at + 20), elf.u32(at + 24), elf.u32(at + 28), elf.u32(at + 32),
                        elf.u32(at + 36)});
  }
  const ReadSection* shndx = nullptr;
  for (const ReadSection& section : sections)
    if (section.type == SHT_SYMTAB_SHNDX) shndx = &section;
  ASSERT_NE(shndx, nullptr);
  EXPECT_EQ(shndx->link, 3u);
  EXPECT_EQ(shndx->entsize, 4u);
  const ReadSection& symtab = sections[3];
  uint32_t symbolCount = symtab.size / 16;
  EXPECT_EQ(shndx->size, 4 * symbolCount);
  std::vector<uint32_t> words = wordsOf(elf, *shndx);
  ASSERT_EQ(words.size(), symbolCount);
  // The last section's header index: 3 tables, then one header per store section.
  uint32_t lastHeader = 3 + kSections;
  uint32_t highWord = 0;
  for (uint32_t symbol = 0; symbol < symbolCount; ++symbol) {
    uint32_t at = symtab.offset + 16 * symbol;
    uint16_t section_index = elf.u16(at + 14);
    if (section_index != 0xffff) {
      EXPECT_EQ(words[symbol], 0u) << symbol;
      continue;
    }
    EXPECT_GE(words[symbol], 0xff00u) << symbol;
    if (elf.cstring(sections[2].offset + elf.u32(at)) == "high") highWord = words[symbol];
  }
  EXPECT_EQ(highWord, lastHeader);
}

}  // namespace
