#include <gtest/gtest.h>

#include <vector>

#include "ElfStoreFixture.h"
#include "objlib/elf_context.h"
#include "objlib/elf_phdr.h"

namespace {

constexpr uint32_t PT_LOAD = 1;
constexpr uint32_t PF_X = 1, PF_W = 2, PF_R = 4;

struct ReadSegment {
  uint32_t type, offset, vaddr, paddr, filesz, memsz, flags, align;
};

std::vector<ReadSegment> segments(const ElfImage& elf) {
  std::vector<ReadSegment> list;
  uint32_t table = elf.u32(28);
  uint16_t entry = elf.u16(42);
  for (uint32_t index = 0; index < elf.u16(44); ++index) {
    size_t at = table + size_t{index} * entry;
    list.push_back({elf.u32(at), elf.u32(at + 4), elf.u32(at + 8), elf.u32(at + 12),
                    elf.u32(at + 16), elf.u32(at + 20), elf.u32(at + 24), elf.u32(at + 28)});
  }
  return list;
}

class ElfPhdr : public ElfStore {
 public:
  void absolute() { ASSERT_EQ(ios_file_set_flag_one(file_, nullptr), 0); }

  // A section with contents (or NOBITS when bytes is null) at a fixed address.
  IosHandle placed(const char* name, uint32_t address, const std::vector<uint8_t>* bytes,
                   uint32_t size = 4, bool code = false) {
    IosHandle handle = section(name, size, bytes, code);
    ExprNode* value = integer(address);
    EXPECT_EQ(ios_section_set_address_expr(handle, value, nullptr), 0);
    expr_release(value);
    return handle;
  }
};

// The comparator alone: a signed difference of the addresses would put 0x80000000
// (and everything above it) before 0x1000.
TEST(ElfPhdrOrder, AddressesCompareUnsigned) {
  struct Case {
    uint32_t left, right;
    bool before;
  };
  const Case cases[] = {
      {0x1000, 0x2000, true},         {0x2000, 0x1000, false},
      {0x1000, 0x80000000u, true},    {0x80000000u, 0x1000, false},
      {0x00000000, 0xFFFFFFFFu, true}, {0x7FFFFFFFu, 0x80000000u, true},
      {0xD0000000u, 0x80000000u, false}, {0x3000, 0x3000, false},
  };
  for (const Case& c : cases) {
    ElfProgramHeader left{}, right{};
    left.p_vaddr = c.left;
    right.p_vaddr = c.right;
    EXPECT_EQ(elf_phdr_before(left, right), c.before) << std::hex << c.left << " " << c.right;
  }
}

TEST_F(ElfPhdr, LoadSegmentsFollowAscendingUnsignedAddress) {
  struct Case {
    const char* title;
    std::vector<uint32_t> addresses;  // in section order
    std::vector<uint32_t> expected;   // in program header order
  };
  const Case cases[] = {
      {"low", {0x2000, 0x1000, 0x3000}, {0x1000, 0x2000, 0x3000}},
      {"across 2^31", {0x80000000u, 0x1000, 0xD0000000u, 0x7FFFFFF0u},
       {0x1000, 0x7FFFFFF0u, 0x80000000u, 0xD0000000u}},
      {"high only", {0xF0000000u, 0x80000000u, 0xA0000000u},
       {0x80000000u, 0xA0000000u, 0xF0000000u}},
      {"many", {0x11000, 0x80010000u, 0x2000, 0x90000000u, 0x3000, 0x1000, 0xF0000000u,
                0x5000, 0x4000, 0x80000000u, 0x9000, 0x8000, 0x7000, 0x6000, 0xA000, 0x10000},
       {0x1000, 0x2000, 0x3000, 0x4000, 0x5000, 0x6000, 0x7000, 0x8000, 0x9000, 0xA000,
        0x10000, 0x11000, 0x80000000u, 0x80010000u, 0x90000000u, 0xF0000000u}},
  };
  for (const Case& c : cases) {
    TearDown();
    SetUp();
    absolute();
    std::vector<uint8_t> bytes(4, 0);
    for (size_t index = 0; index < c.addresses.size(); ++index) {
      std::string name = ".s" + std::to_string(index);
      placed(name.c_str(), c.addresses[index], &bytes);
    }
    ElfImage elf;
    ASSERT_EQ(write(&elf), 0u) << c.title;
    EXPECT_EQ(elf.type(), 2) << c.title;
    EXPECT_EQ(elf.u32(28), 52u) << c.title;
    std::vector<ReadSegment> list = segments(elf);
    ASSERT_EQ(list.size(), c.expected.size()) << c.title;
    for (size_t index = 0; index < list.size(); ++index) {
      EXPECT_EQ(list[index].type, PT_LOAD) << c.title;
      EXPECT_EQ(list[index].vaddr, c.expected[index]) << c.title << " #" << index;
      EXPECT_EQ(list[index].paddr, c.expected[index]) << c.title << " #" << index;
      // Each segment points at its own section's bytes.
      const std::vector<ReadSection> sections = elf.sections();
      bool found = false;
      for (const ReadSection& section : sections)
        if (section.addr == list[index].vaddr && section.offset == list[index].offset &&
            section.size == list[index].filesz)
          found = true;
      EXPECT_TRUE(found) << c.title << " #" << index;
    }
  }
}

TEST_F(ElfPhdr, SegmentFieldsComeFromTheSection) {
  absolute();
  std::vector<uint8_t> code{0x3C, 0x00, 0x3C, 0x00, 0x00, 0x00, 0x00, 0x00};
  std::vector<uint8_t> data(4, 0xAB);
  placed(".text", 0x80000000u, &code, 8, true);
  placed(".data", 0xD0000000u, &data, 4);
  placed(".bss", 0xD0000100u, nullptr, 16);
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  std::vector<ReadSegment> list = segments(elf);
  ASSERT_EQ(list.size(), 3u);
  struct Case {
    uint32_t vaddr, filesz, memsz, flags;
  };
  const Case cases[] = {
      {0x80000000u, 8, 8, PF_R | PF_X},
      {0xD0000000u, 4, 4, PF_R | PF_W},
      {0xD0000100u, 0, 16, PF_R | PF_W},
  };
  for (size_t index = 0; index < list.size(); ++index) {
    const Case& c = cases[index];
    EXPECT_EQ(list[index].vaddr, c.vaddr);
    EXPECT_EQ(list[index].filesz, c.filesz) << std::hex << c.vaddr;
    EXPECT_EQ(list[index].memsz, c.memsz) << std::hex << c.vaddr;
    EXPECT_EQ(list[index].flags, c.flags) << std::hex << c.vaddr;
    EXPECT_EQ(list[index].align, 2u) << std::hex << c.vaddr;
    // Loaded bytes sit where their address says, modulo the alignment.
    EXPECT_EQ(list[index].offset % 2, c.vaddr % 2);
  }
  EXPECT_EQ(elf.bytes.at(list[0].offset), 0x3C);
  EXPECT_EQ(elf.bytes.at(list[1].offset), 0xAB);
}

// Records at the same address keep the order of their sections, so that the same
// input always gives the same file.
TEST_F(ElfPhdr, EqualAddressesKeepSectionOrder) {
  absolute();
  const std::vector<uint8_t> four(4, 0), eight(8, 0), two(2, 0), six(6, 0);
  placed(".late", 0x3000, &four, 4);
  placed(".first", 0x1000, &eight, 8);
  placed(".second", 0x1000, &two, 2);
  placed(".third", 0x1000, &six, 6);
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  std::vector<ReadSegment> list = segments(elf);
  ASSERT_EQ(list.size(), 4u);
  const uint32_t sizes[] = {8, 2, 6, 4};
  for (size_t index = 0; index < list.size(); ++index)
    EXPECT_EQ(list[index].memsz, sizes[index]) << index;
}

// Sections that are not loaded give their reserved record back; the unused tail of
// the reserved area stays zero.
TEST_F(ElfPhdr, UnallocatedSectionHasNoSegment) {
  absolute();
  std::vector<uint8_t> bytes(4, 0x11);
  placed(".b", 0x2000, &bytes);
  IosHandle note = section(".note", 4, &bytes);
  ASSERT_EQ(ios_section_set_type_note(note, nullptr), 0);
  placed(".a", 0x1000, &bytes);
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  std::vector<ReadSegment> list = segments(elf);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].vaddr, 0x1000u);
  EXPECT_EQ(list[1].vaddr, 0x2000u);
  for (size_t at = 52 + 2 * 32; at < 52 + 3 * 32; ++at) EXPECT_EQ(elf.bytes[at], 0) << at;
}

// An executable without a loaded section has an empty table: no offset, no count,
// and nothing patched over the file (the sanitizer build stops on a null copy).
TEST_F(ElfPhdr, AbsoluteFileWithoutLoadedSectionHasNoTable) {
  absolute();
  std::vector<uint8_t> bytes(4, 0x11);
  IosHandle note = section(".note", 4, &bytes);
  ASSERT_EQ(ios_section_set_type_note(note, nullptr), 0);
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  EXPECT_EQ(elf.type(), 2);
  EXPECT_EQ(elf.u32(28), 0u);
  EXPECT_EQ(elf.u16(44), 0u);
}

TEST_F(ElfPhdr, RelocatableOutputKeepsTheAreaZero) {
  std::vector<uint8_t> bytes(4, 0x11);
  placed(".b", 0x2000, &bytes);
  placed(".a", 0x1000, &bytes);
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  EXPECT_EQ(elf.type(), 1);
  EXPECT_EQ(elf.u32(28), 0u);
  EXPECT_EQ(elf.u16(44), 0u);
  for (size_t at = 52; at < 52 + 2 * 32; ++at) EXPECT_EQ(elf.bytes[at], 0) << at;
}

TEST_F(ElfPhdr, BigEndianRecordsAreSwapped) {
  absolute();
  ASSERT_EQ(ios_file_set_big_endian(file_, nullptr), 0);
  std::vector<uint8_t> bytes(4, 0);
  placed(".hi", 0x80001234u, &bytes);
  placed(".lo", 0x00001000u, &bytes);
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  ASSERT_TRUE(elf.big);
  EXPECT_EQ(elf.bytes[52 + 8], 0x00);
  EXPECT_EQ(elf.bytes[52 + 10], 0x10);
  EXPECT_EQ(elf.bytes[52 + 32 + 8], 0x80);
  EXPECT_EQ(elf.bytes[52 + 32 + 11], 0x34);
}

}  // namespace
