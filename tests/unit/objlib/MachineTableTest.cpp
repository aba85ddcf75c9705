#include <gtest/gtest.h>

#include <vector>

#include "ElfStoreFixture.h"
#include "objlib/ios_machine.h"

namespace {

TEST(MachineTable, RowsAreFoundByTheirExactName) {
  struct Case {
    const char* name;
    bool found;
  };
  const Case cases[] = {
      {"TRI", true}, {"PCP", true}, {"tri", false}, {"TRI ", false}, {"TR", false}, {"", false},
  };
  for (const Case& c : cases) {
    const MachineEntry* row = ios_machine_find(c.name);
    EXPECT_EQ(row != nullptr, c.found) << '"' << c.name << '"';
    if (row != nullptr) {
      EXPECT_EQ(row->elf_machine, 44u) << c.name;
      EXPECT_EQ(row->relocation_form, static_cast<uint32_t>(MACHINE_RELOCATION_RELA));
      EXPECT_NE(row->relocation_runs, 0u);
      EXPECT_EQ(row->no_extended_operators, 0u);
    }
  }
  EXPECT_NE(ios_machine_find("TRI")->section_hook, nullptr);
  EXPECT_EQ(ios_machine_find("PCP")->section_hook, nullptr);
}

TEST(MachineTable, CoreNamesGiveTheirFlags) {
  struct Case {
    const char* core;
    int status;
    uint32_t flags;
  };
  const Case cases[] = {
      {"TC1V1.1", 0, 0x80000000u},   {"TC1V1.2", 0, 0x40000000u},
      {"TC1V1.3", 0, 0x20000000u},   {"TC1V1.3.1", 0, 0x00800000u},
      {"TC1V1.6", 0, 0x00400000u},   {"TC1V1.6.X", 0, 0x00200000u},
      {"TC2", 0, 0x10000000u},       {"PCP", 0, 0x01000000u},
      {"PCP2", 0, 0x02000000u},      {"MCS", 0, 0x04000000u},
      {"TC1V1.3 ", 1, 0},            {"tc1v1.6", 1, 0},
      {"TC1V1.6.x", 1, 0},           {"", 1, 0},
  };
  for (const Case& c : cases) {
    uint32_t flags = 0;
    ObjLibErrorClass error = OBJLIB_ERR_NONE;
    EXPECT_EQ(ios_machine_tricore_core_flags(c.core, &flags, &error), c.status) << c.core;
    if (c.status == 0) {
      EXPECT_EQ(flags, c.flags) << c.core;
    } else {
      EXPECT_EQ(error, OBJLIB_ERR_UNSUPPORTED_PLATFORM) << c.core;
    }
  }
}

TEST(MachineTable, PrivateSectionsAreRecognisedByPrefix) {
  struct Case {
    const char* name;
    bool is_private;
  };
  const Case cases[] = {
      {".bss.private.counter", true}, {".text.private", true}, {".zdata.private.x", true},
      {".rodata_a9.private", true},   {".private.bss", false},  {".bss", false},
      {".bss.privat", false},         {".data1.private", true}, {"", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ios_machine_is_private_section(c.name), c.is_private) << c.name;
}

using MachineHeader = ElfStore;

TEST_F(MachineHeader, CoreOfTheFileSetsEFlags) {
  struct Case {
    const char* core;
    uint32_t flags;
  };
  const Case cases[] = {
      {"TC1V1.3.1", 0x00800000u}, {"TC1V1.6", 0x00400000u}, {"TC1V1.6.X", 0x00200000u}};
  for (const Case& c : cases) {
    ASSERT_EQ(ios_file_set_string6(file_, text(c.core), nullptr), 0);
    ElfImage elf;
    ASSERT_EQ(write(&elf), 0u) << c.core;
    EXPECT_EQ(elf.flags(), c.flags) << c.core;
    EXPECT_EQ(elf.machine(), 44) << c.core;
  }
}

TEST_F(MachineHeader, PrivateSectionsBecomeWritable) {
  struct Case {
    const char* name;
    uint32_t write_flag;
  };
  const Case cases[] = {{".bss.private.counter", 1}, {".private.bss", 0}, {".rodata", 0}};
  std::vector<uint8_t> bytes(4, 0);
  for (const Case& c : cases) {
    IosHandle handle = section(c.name, 4, &bytes);
    IosSection* record = nullptr;
    ASSERT_EQ(ios_get_section(handle, &record, nullptr), 0);
    // Read-only in the store.
    record->attributes = (record->attributes & ~(IOS_SECTION_ACCESS_MASK << IOS_SECTION_ACCESS_SHIFT)) |
                         2u << IOS_SECTION_ACCESS_SHIFT;
  }
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  for (const Case& c : cases) {
    int index = elf.sectionIndex(c.name);
    ASSERT_GT(index, 0) << c.name;
    EXPECT_EQ(elf.sections()[index].flags & 1u, c.write_flag) << c.name;
  }
}

}  // namespace
