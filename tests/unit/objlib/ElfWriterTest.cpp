#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

#include <unistd.h>

#include "ElfStoreFixture.h"

namespace {

constexpr uint32_t SHT_PROGBITS = 1, SHT_SYMTAB = 2, SHT_STRTAB = 3, SHT_RELA = 4,
                   SHT_NOBITS = 8;
constexpr uint32_t SHF_WRITE = 1, SHF_ALLOC = 2, SHF_EXECINSTR = 4;
constexpr uint8_t STB_LOCAL = 0, STB_GLOBAL = 1, STB_WEAK = 2;
constexpr uint8_t STT_NOTYPE = 0, STT_OBJECT = 1, STT_FUNC = 2, STT_SECTION = 3, STT_FILE = 4;

using ElfWriter = ElfStore;

TEST_F(ElfWriter, FileWithoutSectionsHasHeaderAndTheThreeTables) {
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  const unsigned char ident[] = {0x7F, 'E', 'L', 'F', 1, 1, 1, 0};
  EXPECT_EQ(std::memcmp(elf.bytes.data(), ident, sizeof ident), 0);
  EXPECT_EQ(elf.type(), 1);  // ET_REL
  EXPECT_EQ(elf.machine(), 44);
  EXPECT_EQ(elf.u32(20), 1u);  // e_version
  EXPECT_EQ(elf.u32(28), 0u);  // e_phoff
  EXPECT_EQ(elf.u16(44), 0u);  // e_phnum
  EXPECT_EQ(elf.flags(), 0x00200000u);
  EXPECT_EQ(elf.ehsize(), 52);
  EXPECT_EQ(elf.shentsize(), 40);
  EXPECT_EQ(elf.shstrndx(), 1);
  EXPECT_EQ(elf.shoff() % 4, 0u);
  EXPECT_EQ(elf.shoff() + 4u * 40, elf.bytes.size());

  std::vector<ReadSection> sections = elf.sections();
  ASSERT_EQ(sections.size(), 4u);
  EXPECT_EQ(sections[0].type, 0u);
  EXPECT_EQ(sections[1].name, ".shstrtab");
  EXPECT_EQ(sections[1].type, SHT_STRTAB);
  EXPECT_EQ(sections[2].name, ".strtab");
  EXPECT_EQ(sections[2].type, SHT_STRTAB);
  EXPECT_EQ(sections[3].name, ".symtab");
  EXPECT_EQ(sections[3].type, SHT_SYMTAB);
  EXPECT_EQ(sections[3].link, 2u);
  EXPECT_EQ(sections[3].entsize, 16u);
  EXPECT_EQ(sections[3].info, 2u);
  EXPECT_EQ(sections[3].offset % 4, 0u);
  EXPECT_EQ(elf.bytes[sections[1].offset], 0);
  EXPECT_EQ(elf.bytes[sections[2].offset], 0);

  std::vector<ReadSymbol> symbols = elf.symbols();
  ASSERT_EQ(symbols.size(), 2u);
  EXPECT_EQ(symbols[1].name, "t.asm");
  EXPECT_EQ(symbols[1].type(), STT_FILE);
  EXPECT_EQ(symbols[1].binding(), STB_LOCAL);
  EXPECT_EQ(symbols[1].shndx, 0xfff1);
}

// The shape of a small assembled file: code with a relocation against an external,
// zero-initialised data, a local label in a named scope, a global function and a
// weak symbol.
class ElfWriterFixture : public ElfStore {
 protected:
  void build() {
    text_ = section(".text", 8, &code_, true);
    bss_ = section(".bss", 8, nullptr);
    IosHandle locals = listScope("m.asm");
    local_ = symbol(locals, "l", &text_, 2);
    IosHandle globals = globalScope();
    main_ = symbol(globals, "main", &text_, 0, IOS_SYMBOL_FUNCTION);
    counter_ = symbol(globals, "counter", &bss_, 4, IOS_SYMBOL_OBJECT);
    ASSERT_EQ(ios_symbol_set_size(counter_, 4, nullptr), 0);
    ext_ = symbol(globals, "ext", nullptr);
    weak_ = symbol(globals, "w", nullptr);
    ASSERT_EQ(ios_symbol_set_weak(weak_, nullptr), 0);
    relocate(text_, 4, add(ref(ext_), integer(4)), 2);
    relocate(text_, 0, op(EXPR_SUB, {ref(local_), ref(main_)}), 2);
  }

  std::vector<uint8_t> code_{0x91, 0x00, 0x00, 0xF0, 0x00, 0x00, 0x00, 0x00};
  IosHandle text_{}, bss_{}, local_{}, main_{}, counter_{}, ext_{}, weak_{};
};

TEST_F(ElfWriterFixture, SectionsComeInStoreOrderEachFollowedByItsRelocations) {
  build();
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  std::vector<ReadSection> sections = elf.sections();
  std::vector<std::string> names;
  for (const ReadSection& section : sections) names.push_back(section.name);
  EXPECT_EQ(names, (std::vector<std::string>{"", ".shstrtab", ".strtab", ".symtab", ".text",
                                             ".rela.text", ".bss"}));
  const ReadSection& text = sections[4];
  EXPECT_EQ(text.type, SHT_PROGBITS);
  EXPECT_EQ(text.flags, SHF_ALLOC | SHF_EXECINSTR);
  EXPECT_EQ(text.size, 8u);
  EXPECT_EQ(text.addralign, 2u);
  ASSERT_LE(text.offset + text.size, elf.bytes.size());
  EXPECT_EQ(std::vector<uint8_t>(elf.bytes.begin() + text.offset,
                                 elf.bytes.begin() + text.offset + text.size),
            code_);
  const ReadSection& rela = sections[5];
  EXPECT_EQ(rela.type, SHT_RELA);
  EXPECT_EQ(rela.link, 3u);
  EXPECT_EQ(rela.info, 4u);
  EXPECT_EQ(rela.entsize, 12u);
  EXPECT_EQ(rela.flags, 0u);
  EXPECT_EQ(rela.offset % 4, 0u);
  const ReadSection& bss = sections[6];
  EXPECT_EQ(bss.type, SHT_NOBITS);
  EXPECT_EQ(bss.flags, SHF_WRITE | SHF_ALLOC);
  EXPECT_EQ(bss.offset, 0u);
  EXPECT_EQ(bss.size, 8u);
  // The program header area of relocatable output stays zero: two sections.
  for (size_t at = 52; at < 52 + 2 * 32; ++at) ASSERT_EQ(elf.bytes[at], 0) << at;
}

TEST_F(ElfWriterFixture, LocalsPrecedeGlobalsAndSymtabInfoIsTheFirstGlobal) {
  build();
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  struct Expected {
    const char* name;
    uint8_t binding;
    uint8_t type;
    uint16_t shndx;
    uint32_t value;
    uint32_t size;
  };
  const Expected expected[] = {
      {"", STB_LOCAL, STT_NOTYPE, 0, 0, 0},
      {"t.asm", STB_LOCAL, STT_FILE, 0xfff1, 0, 0},
      {"m.asm", STB_LOCAL, STT_FILE, 0xfff1, 0, 0},
      {"l", STB_LOCAL, STT_NOTYPE, 4, 2, 0},
      {".text", STB_LOCAL, STT_SECTION, 4, 0, 0},
      {".bss", STB_LOCAL, STT_SECTION, 6, 0, 0},
      {"main", STB_GLOBAL, STT_FUNC, 4, 0, 0},
      {"counter", STB_GLOBAL, STT_OBJECT, 6, 4, 4},
      {"ext", STB_GLOBAL, STT_NOTYPE, 0, 0, 0},
      {"w", STB_WEAK, STT_NOTYPE, 0, 0, 0},
  };
  std::vector<ReadSymbol> symbols = elf.symbols();
  ASSERT_EQ(symbols.size(), std::size(expected));
  for (size_t index = 0; index < symbols.size(); ++index) {
    const Expected& want = expected[index];
    const ReadSymbol& got = symbols[index];
    EXPECT_EQ(got.name, want.name) << index;
    EXPECT_EQ(got.binding(), want.binding) << want.name;
    EXPECT_EQ(got.type(), want.type) << want.name;
    EXPECT_EQ(got.shndx, want.shndx) << want.name;
    EXPECT_EQ(got.value, want.value) << want.name;
    EXPECT_EQ(got.size, want.size) << want.name;
  }
  EXPECT_EQ(elf.sections()[3].info, 6u);
}

TEST_F(ElfWriterFixture, SymbolPlusConstantIsOneRecordAndDifferenceIsAPostfixRun) {
  build();
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  constexpr uint32_t kLocal = 3, kMain = 6, kExt = 8;
  std::vector<ReadRela> expected = {
      {4, kExt << 8 | 2, 4},
      {0, kLocal << 8 | 0xFD, 0},
      {0, kMain << 8 | 0xFD, 0},
      {0, 0xFE, 0x8},
      {0, 0xFF, 2},
  };
  EXPECT_EQ(elf.relocations(".rela.text"), expected);
}

TEST_F(ElfWriterFixture, BigEndianFileSwapsEveryFieldButNotTheContents) {
  ASSERT_EQ(ios_file_set_big_endian(file_, nullptr), 0);
  build();
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  ASSERT_TRUE(elf.big);
  EXPECT_EQ(elf.machine(), 44);
  EXPECT_EQ(elf.ehsize(), 52);
  EXPECT_EQ(elf.flags(), 0x00200000u);
  std::vector<ReadSection> sections = elf.sections();
  ASSERT_EQ(sections.size(), 7u);
  EXPECT_EQ(sections[4].name, ".text");
  EXPECT_EQ(std::vector<uint8_t>(elf.bytes.begin() + sections[4].offset,
                                 elf.bytes.begin() + sections[4].offset + 8),
            code_);
  EXPECT_EQ(elf.symbols().at(6).name, "main");
  EXPECT_EQ(elf.relocations(".rela.text").at(0), (ReadRela{4, 8 << 8 | 2, 4}));
}

TEST_F(ElfWriterFixture, AbsoluteOutputWritesNoRelocationSections) {
  ASSERT_EQ(ios_file_set_flag_one(file_, nullptr), 0);
  build();
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  EXPECT_EQ(elf.type(), 2);  // ET_EXEC
  EXPECT_EQ(elf.sectionIndex(".rela.text"), -1);
  EXPECT_EQ(elf.sectionIndex(".bss"), 5);
}

// What the producer writes into a pipe, which cannot seek; a thread drains it so that
// a file larger than the pipe's buffer gets through.
uint32_t writeThroughPipe(uint32_t file, std::vector<unsigned char>* bytes) {
  int ends[2];
  if (pipe(ends) != 0) return 99;
  std::thread reader([&] {
    unsigned char block[4096];
    ssize_t count = 0;
    while ((count = read(ends[0], block, sizeof block)) > 0) bytes->insert(bytes->end(), block, block + count);
  });
  std::FILE* stream = fdopen(ends[1], "wb");
  ObjLibErrorClass error = OBJLIB_ERR_NONE;
  int status = stream != nullptr ? elf_write_object("t.o", stream, file, &error) : 1;
  if (stream != nullptr) std::fclose(stream);
  reader.join();
  close(ends[0]);
  return status == 0 ? 0u : static_cast<uint32_t>(error);
}

// The producer never seeks: a pipe receives the bytes a file does, in relocatable and
// in absolute output (whose program headers are filled in after the sections).
TEST_F(ElfWriterFixture, APipeReceivesTheBytesOfTheFile) {
  struct Case {
    bool absolute;
  };
  const Case cases[] = {{false}, {true}};
  for (const Case& c : cases) {
    TearDown();
    SetUp();
    if (c.absolute) {
      ASSERT_EQ(ios_file_set_flag_one(file_, nullptr), 0);
    }
    build();
    IosHandle big = section(".big", 3 * IOS_SEGMENT_UNITS + 3, nullptr);
    ASSERT_EQ(ios_section_create_image(big, nullptr, nullptr), 0);
    ElfImage elf;
    ASSERT_EQ(write(&elf), 0u);
    std::vector<unsigned char> piped;
    ASSERT_EQ(writeThroughPipe(file_, &piped), 0u);
    EXPECT_EQ(elf.type(), c.absolute ? 2 : 1);
    ASSERT_EQ(piped.size(), elf.bytes.size()) << c.absolute;
    EXPECT_TRUE(piped == elf.bytes) << c.absolute;
  }
}

// Segments of an image that nothing wrote are written as zeros, without a buffer being
// made for them: a section of reserved space costs no memory when the file is written.
TEST_F(ElfWriter, UnwrittenSegmentsAreWrittenAsZerosWithoutBuffers) {
  const uint32_t units = 3 * IOS_SEGMENT_UNITS + 5;
  IosHandle big = section(".big", units, nullptr);
  IosHandle image{};
  ASSERT_EQ(ios_section_create_image(big, &image, nullptr), 0);
  void* storage = nullptr;
  ASSERT_EQ(ios_image_get_data_entry(image, 2 * IOS_SEGMENT_UNITS + 1, &storage, nullptr, nullptr), 0);
  *static_cast<unsigned char*>(storage) = 0x5A;
  ASSERT_EQ(ios_image_add_zeros(big.file_id, big.object_id, 0, 2 * IOS_SEGMENT_UNITS, nullptr), 0);
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  IosImage* record = nullptr;
  ASSERT_EQ(ios_get_image(image, &record, nullptr), 0);
  uint32_t buffers = 0;
  for (uint32_t i = 0; i < record->segments.count; ++i)
    buffers += static_cast<IosSegment*>(ios_array_at(&record->segments, sizeof(IosSegment), i))->buffer != nullptr;
  EXPECT_EQ(buffers, 1u);
  const ReadSection written = elf.sections().at(elf.sectionIndex(".big"));
  ASSERT_EQ(written.size, units);
  ASSERT_LE(size_t{written.offset} + units, elf.bytes.size());
  std::vector<unsigned char> expected(units, 0);
  expected[2 * IOS_SEGMENT_UNITS + 1] = 0x5A;
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), elf.bytes.begin() + written.offset));
}

// One header per section and one per relocation section: more than any count of
// live sections alone bounds.
TEST_F(ElfWriter, EverySectionMayAddARelocationSection) {
  IosHandle globals = globalScope();
  IosHandle target = symbol(globals, "target", nullptr);
  std::vector<uint8_t> bytes(4, 0);
  constexpr int kSections = 12;
  for (int index = 0; index < kSections; ++index) {
    std::string name = ".text." + std::to_string(index);
    IosHandle code = section(name.c_str(), 4, &bytes, true);
    relocate(code, 0, ref(target), 2);
  }
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  std::vector<ReadSection> sections = elf.sections();
  ASSERT_EQ(sections.size(), 4u + 2 * kSections);
  for (int index = 0; index < kSections; ++index) {
    std::string name = ".text." + std::to_string(index);
    EXPECT_EQ(sections[4 + 2 * index].name, name);
    EXPECT_EQ(sections[5 + 2 * index].name, ".rela" + name);
    EXPECT_EQ(sections[5 + 2 * index].info, static_cast<uint32_t>(4 + 2 * index));
  }
}

TEST_F(ElfWriter, SectionAddressFlagsInRelocatableOutput) {
  struct Case {
    const char* name;
    bool expression;  // address 0x1000 + 0x10 left unevaluated
    uint32_t fixed;
    uint32_t flags;
    uint32_t addr;
  };
  const Case cases[] = {
      {".plain", false, 0, 0, 0},
      {".expr", true, 0, 0x400, 0x1010},
      {".fixed", false, 0x2000, 0x80000000u, 0x2000},
      {".both", true, 0x2000, 0x80000400u, 0x1010},
  };
  std::vector<uint8_t> bytes(4, 0);
  for (const Case& c : cases) {
    IosHandle handle = section(c.name, 4, &bytes);
    if (c.expression) {
      ExprNode* address = add(integer(0x1000), integer(0x10));
      ASSERT_EQ(ios_section_set_address_expr(handle, address, nullptr), 0);
      expr_release(address);
    }
    if (c.fixed != 0) {
      ASSERT_EQ(ios_section_set_fixed_address(handle, c.fixed, nullptr), 0);
    }
  }
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  for (const Case& c : cases) {
    int index = elf.sectionIndex(c.name);
    ASSERT_GT(index, 0) << c.name;
    const ReadSection section = elf.sections()[index];
    EXPECT_EQ(section.flags & ~(SHF_WRITE | SHF_ALLOC), c.flags) << c.name;
    EXPECT_EQ(section.addr, c.addr) << c.name;
  }
}

TEST_F(ElfWriter, AddressThatDoesNotEvaluateIsExpressionLibraryFailure) {
  std::vector<uint8_t> bytes(4, 0);
  IosHandle handle = section(".text", 4, &bytes);
  IosHandle undefined = symbol(globalScope(), "nowhere", nullptr);
  ExprNode* address = add(ref(undefined), integer(4));
  ASSERT_EQ(ios_section_set_address_expr(handle, address, nullptr), 0);
  expr_release(address);
  ElfImage elf;
  EXPECT_EQ(write(&elf), static_cast<uint32_t>(OBJLIB_ERR_EXPRESSION_LIBRARY));
}

TEST_F(ElfWriter, AbsoluteSymbolHasItsValueAndShnAbs) {
  IosHandle handle{};
  ASSERT_EQ(ios_symbol_create_with_slot(file_, globalScope(), ExprSlotRef{0, nullptr}, &handle, nullptr), 0);
  ASSERT_EQ(ios_symbol_set_name(handle, text("limit"), nullptr), 0);
  ExprNode* value = integer(0x1000);
  ASSERT_EQ(ios_symbol_set_value_expr(handle, value, nullptr), 0);
  expr_release(value);
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  const ReadSymbol symbol = elf.symbols().at(2);
  EXPECT_EQ(symbol.name, "limit");
  EXPECT_EQ(symbol.value, 0x1000u);
  EXPECT_EQ(symbol.shndx, 0xfff1);
}

TEST_F(ElfWriter, SectionsOfTheSameNameShareOneName) {
  std::vector<uint8_t> bytes(4, 0);
  section(".data", 4, &bytes);
  section(".data", 4, &bytes);
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  std::vector<ReadSection> sections = elf.sections();
  ASSERT_EQ(sections.size(), 6u);
  uint32_t first = elf.u32(elf.shoff() + 4 * 40);
  uint32_t second = elf.u32(elf.shoff() + 5 * 40);
  EXPECT_EQ(first, second);
  EXPECT_EQ(sections[4].name, ".data");
  // The name sits behind the relocation prefix, for a ".rela.data" to come.
  EXPECT_EQ(elf.cstring(sections[1].offset + first - 5), ".rela.data");
}

TEST_F(ElfWriter, StoreFailuresAreReportedAsTheirClass) {
  struct Case {
    const char* name;
    void (*spoil)(ElfWriter* test);
    ObjLibErrorClass expected;
  };
  const Case cases[] = {
      {"unknown machine",
       [](ElfWriter* t) { ios_file_set_string5(t->file_, t->text("tri"), nullptr); },
       OBJLIB_ERR_UNSUPPORTED_PLATFORM},
      {"unknown core",
       [](ElfWriter* t) { ios_file_set_string6(t->file_, t->text("TC1V1.3 "), nullptr); },
       OBJLIB_ERR_UNSUPPORTED_PLATFORM},
      {"no mode", [](ElfWriter* t) { ios_file_set_mode_word(t->file_, 0, nullptr); },
       OBJLIB_ERR_OBJECT_STORE},
      {"no kind", [](ElfWriter* t) { ios_file_set_kind(t->file_, 0, nullptr); },
       OBJLIB_ERR_OBJECT_STORE},
      {"no byte order", [](ElfWriter* t) { ios_file_set_byte_order(t->file_, 0, nullptr); },
       OBJLIB_ERR_OBJECT_STORE},
  };
  for (const Case& c : cases) {
    TearDown();
    SetUp();
    c.spoil(this);
    ElfImage elf;
    EXPECT_EQ(write(&elf), static_cast<uint32_t>(c.expected)) << c.name;
  }
}

}  // namespace

namespace {

// Sizes and relocation offsets count bytes, the store counts addressable units.
TEST_F(ElfWriter, WideUnitsScaleSizesAndRelocationOffsets) {
  IosHandle handle{};
  ASSERT_EQ(ios_section_create(file_, nullptr, &handle, nullptr), 0);
  ASSERT_EQ(ios_section_set_name(handle, text(".wide"), nullptr), 0);
  ASSERT_EQ(ios_section_set_type_normal(handle, nullptr), 0);
  ASSERT_EQ(ios_section_set_mau_size(handle, 16, nullptr), 0);
  ASSERT_EQ(ios_section_set_size(handle, 10, nullptr), 0);
  ASSERT_EQ(ios_section_create_image(handle, nullptr, nullptr), 0);
  IosHandle target = symbol(globalScope(), "target", nullptr);
  relocate(handle, 3, add(ref(target), integer(1)), 2);
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  ASSERT_EQ(elf.sectionIndex(".wide"), 4);
  EXPECT_EQ(elf.sections()[4].size, 20u);
  EXPECT_EQ(elf.sections()[5].offset - elf.sections()[4].offset >= 20u, true);
  EXPECT_EQ(elf.relocations(".rela.wide"), (std::vector<ReadRela>{{6, 3 << 8 | 2, 1}}));
}

}  // namespace
