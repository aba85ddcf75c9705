// A symbol whose value the store holds as section + offset must come out of the
// producer byte for byte as one whose value is the expression tree of the same sum:
// its symbol-table entry, the relocations that name it, in every kind of output.
#include <gtest/gtest.h>

#include <vector>

#include "objlib/ElfStoreFixture.h"
#include "objlib/ios_file_props.h"

namespace {

class ElfSectionOffset : public ElfStore {
 public:
  struct Case {
    const char* name;
    bool absolute;           // program-header output, values translated
    int64_t sectionAddress;  // -1: the section has none
    uint32_t offset;
    bool referenced;         // a relocation names the symbol
  };

  // Writes a file with a global and a local symbol at the case's offset in ".text";
  // the pair holds their values when asked to, else trees.
  std::vector<unsigned char> written(const Case& c, bool pair) {
    TearDown();
    SetUp();
    if (c.absolute) {
      EXPECT_EQ(ios_file_set_flag_one(file_, nullptr), 0);
    }
    std::vector<uint8_t> code(16, 0);
    IosHandle code_section = section(".text", 16, &code, true);
    if (c.sectionAddress >= 0) {
      ExprNode* address = integer(c.sectionAddress);
      EXPECT_EQ(ios_section_set_address_expr(code_section, address, nullptr), 0);
      expr_release(address);
    }
    IosHandle locals = listScope("m.asm");
    IosHandle globals = globalScope();
    std::vector<IosHandle> made;
    for (IosHandle scope : {locals, globals}) {
      const char* name = scope.object_id == locals.object_id ? "local" : "global";
      if (pair) {
        IosHandle handle{};
        EXPECT_EQ(ios_symbol_create_with_slot(file_, scope, ExprSlotRef{0, nullptr}, &handle, nullptr), 0);
        EXPECT_EQ(ios_symbol_set_name(handle, text(name), nullptr), 0);
        EXPECT_EQ(ios_symbol_set_section(handle, code_section, nullptr), 0);
        EXPECT_EQ(ios_symbol_set_section_offset(handle, c.offset, nullptr), 0);
        made.push_back(handle);
      } else {
        made.push_back(symbol(scope, name, &code_section, c.offset));
      }
    }
    if (c.referenced) {
      relocate(code_section, 0, add(ref(made[1]), integer(4)), 2);
      relocate(code_section, 4, ref(made[0]), 2);
    }
    ElfImage image;
    EXPECT_EQ(write(&image), 0u);
    // The producer reads the pair as it stands: no tree is made for it.
    for (IosHandle handle : made) {
      uint32_t offset = 0;
      EXPECT_EQ(ios_symbol_get_section_offset(handle, &offset, nullptr, nullptr), pair ? 0 : -1) << c.name;
    }
    return image.bytes;
  }
};

TEST_F(ElfSectionOffset, PairWritesTheBytesOfItsSum) {
  const Case cases[] = {
      {"relocatable", false, -1, 6, true},
      {"relocatable at offset 0", false, -1, 0, false},
      {"relocatable, placed section", false, 0x80000000, 10, true},
      {"largest offset", false, -1, 0xFFFFFFFFu, true},
      {"absolute", true, 0x80000000, 12, false},
      {"absolute, section without address", true, -1, 12, false},
  };
  for (const Case& c : cases) {
    std::vector<unsigned char> tree = written(c, false);
    std::vector<unsigned char> pair = written(c, true);
    ASSERT_FALSE(tree.empty()) << c.name;
    EXPECT_EQ(pair, tree) << c.name;
  }
}

}  // namespace
