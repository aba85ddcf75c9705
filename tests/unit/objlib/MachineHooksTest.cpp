#include <gtest/gtest.h>

#include "objlib/StoreFileFixture.h"
#include "objlib/elf_context.h"
#include "objlib/elf_machine_hooks.h"
#include "objlib/ios_section.h"
#include "objlib/ios_strtab.h"

namespace {

constexpr ObjLibErrorClass NOT_SET = static_cast<ObjLibErrorClass>(99);
constexpr uint16_t ET_REL = 1, ET_EXEC = 2;

using Hook = int (*)(ElfContext*, ElfSectionHeader*, ElfProgramHeader*, uint32_t, uint32_t,
                     ObjLibErrorClass*);

class MachineHooks : public OneStoreFile {
 protected:
  // A section with the name (null: none) and number (all ones: unset).
  uint32_t section(const char* name, uint32_t number = IOS_NUMBER_UNSET) {
    IosHandle made{};
    EXPECT_EQ(ios_section_create(file_, nullptr, &made, nullptr), 0);
    if (name != nullptr) {
      IosHandle text{};
      EXPECT_EQ(ios_strtab_add(file_, name, &text, nullptr), 0);
      EXPECT_EQ(ios_section_set_name(made, text, nullptr), 0);
    }
    if (number != IOS_NUMBER_UNSET) {
      EXPECT_EQ(ios_section_set_number(made, number, nullptr), 0);
    }
    return made.object_id;
  }
};

TEST_F(MachineHooks, HooksMarkTheirMachinesSections) {
  struct Case {
    const char* name;
    Hook hook;
    uint16_t type;
    const char* section;  // null: a section without a name; "" : no section at all
    uint32_t number;
    uint32_t flags;
    int result;
    ObjLibErrorClass error;
    uint32_t flagsAfter;
    uint32_t programFlagsAfter;
  };
  const Case cases[] = {
      {"ppc vle relocatable", elf_section_hook_ppc, ET_REL, ".text_vle", IOS_NUMBER_UNSET, 0x6, 0,
       NOT_SET, 0x10000006, 0x10000005},
      {"ppc longer vle name", elf_section_hook_ppc, ET_REL, ".text_vle.init", IOS_NUMBER_UNSET,
       0x6, 0, NOT_SET, 0x10000006, 0x10000005},
      {"ppc data absolute", elf_section_hook_ppc, ET_EXEC, ".data", IOS_NUMBER_UNSET, 0x20000003,
       0, NOT_SET, 0x3, 0x5},
      {"ppc vle not executable", elf_section_hook_ppc, ET_REL, ".text_vle", IOS_NUMBER_UNSET, 0x2,
       1, OBJLIB_ERR_OBLIGATED_FIELD, 0x2, 0x5},
      {"ppc no name", elf_section_hook_ppc, ET_REL, nullptr, IOS_NUMBER_UNSET, 0x6, 1,
       OBJLIB_ERR_OBJECT_STORE, 0x6, 0x5},
      {"ppc no section", elf_section_hook_ppc, ET_REL, "", IOS_NUMBER_UNSET, 0x6, 1,
       OBJLIB_ERR_OBJECT_STORE, 0x6, 0x5},
      {"c166 relocatable", elf_section_hook_c166, ET_REL, ".a", 1, 0x2, 0, NOT_SET, 0x2, 0x5},
      {"c166 absolute number 1", elf_section_hook_c166, ET_EXEC, ".a", 1, 0x2, 0, NOT_SET,
       0x10000002, 0x5},
      {"c166 absolute number 2", elf_section_hook_c166, ET_EXEC, ".a", 2, 0x2, 0, NOT_SET, 0x2, 0x5},
      {"c166 absolute unset", elf_section_hook_c166, ET_EXEC, ".a", IOS_NUMBER_UNSET, 0x2, 0,
       NOT_SET, 0x2, 0x5},
      {"c166 absolute no section", elf_section_hook_c166, ET_EXEC, "", 1, 0x2, 1,
       OBJLIB_ERR_OBJECT_STORE, 0x2, 0x5},
      {"c51 existing", elf_section_hook_c51, ET_EXEC, ".a", 1, 0x2, 0, NOT_SET, 0x2, 0x5},
      {"c51 no section", elf_section_hook_c51, ET_EXEC, "", 1, 0x2, 1, OBJLIB_ERR_OBJECT_STORE,
       0x2, 0x5},
      {"none", elf_section_hook_none, ET_EXEC, "", 1, 0x2, 0, NOT_SET, 0x2, 0x5},
  };
  for (const Case& c : cases) {
    ElfContext context;
    context.e_type = c.type;
    uint32_t id = c.section != nullptr && c.section[0] == '\0' ? 999 : section(c.section, c.number);
    ElfSectionHeader header{};
    header.sh_flags = c.flags;
    ElfProgramHeader program{};
    program.p_flags = 0x5;
    ObjLibErrorClass error = NOT_SET;
    EXPECT_EQ(c.hook(&context, &header, &program, file_, id, &error), c.result) << c.name;
    EXPECT_EQ(error, c.error) << c.name;
    EXPECT_EQ(header.sh_flags, c.flagsAfter) << c.name;
    EXPECT_EQ(program.p_flags, c.programFlagsAfter) << c.name;
  }
}

}  // namespace
