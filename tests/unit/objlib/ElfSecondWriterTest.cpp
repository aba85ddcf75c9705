#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "objlib/ElfStoreFixture.h"
#include "objlib/elf_context.h"
#include "objlib/elf_writer.h"
#include "objlib/ios_machine.h"
#include "objlib/ios_section_ops.h"

namespace {

struct Translation {
  uint32_t calls = 0;
  uint32_t parameter = 0;
};

// Moves every address up by 0x100000 per section number.
int shiftBySection(uint32_t low, uint32_t high, uint32_t number, uint32_t parameter,
                   void* argument, uint64_t* address) {
  auto* seen = static_cast<Translation*>(argument);
  ++seen->calls;
  seen->parameter = parameter;
  *address = (uint64_t{high} << 32 | low) + uint64_t{number} * 0x100000;
  return 0;
}

int refuse(uint32_t, uint32_t, uint32_t, uint32_t, void*, uint64_t*) { return 1; }

class ElfSecondWriter : public ElfStore {
 public:
  // Writes through the translating entry with the given row (null: the file's own).
  uint32_t writeWith(ElfImage* image, ElfAddressTranslator translator, void* argument,
                     const MachineEntry* row) {
    std::FILE* stream = std::tmpfile();
    EXPECT_NE(stream, nullptr);
    ObjLibErrorClass error = OBJLIB_ERR_NONE;
    int status = elf_write_object_with("t.o", stream, file_, translator, argument, row, &error);
    if (status == 0) {
      std::fseek(stream, 0, SEEK_END);
      image->bytes.resize(static_cast<size_t>(std::ftell(stream)));
      std::fseek(stream, 0, SEEK_SET);
      EXPECT_EQ(std::fread(image->bytes.data(), 1, image->bytes.size(), stream),
                image->bytes.size());
    }
    std::fclose(stream);
    return status == 0 ? 0u : static_cast<uint32_t>(error);
  }
};

// The assembler's machine table has a row for TriCore only, whose translation
// parameter is 0; the translator path runs through a copy of that row with a
// parameter of 7, made here.
TEST_F(ElfSecondWriter, TranslatorMovesNumberedSectionsOfAbsoluteOutputOnly) {
  MachineEntry translatingRow = *ios_machine_find("TRI");
  translatingRow.address_callback_argument = 7;
  struct Case {
    const char* name;
    bool absolute;
    const MachineEntry* row;
    bool withTranslator;
    uint32_t number;  // 0: unset
    uint32_t address;
    uint32_t symbolValue;
    uint32_t calls;
  };
  const Case cases[] = {
      {"absolute, parameter, numbered", true, &translatingRow, true, 3, 0x301000, 0x301002, 2},
      {"no translator", true, &translatingRow, false, 3, 0x1000, 0x1002, 0},
      {"relocatable output", false, &translatingRow, true, 3, 0x1000, 0x1002, 0},
      {"row without parameter", true, nullptr, true, 3, 0x1000, 0x1002, 0},
      {"section without number", true, &translatingRow, true, 0, 0x1000, 0x1002, 0},
  };
  for (const Case& c : cases) {
    store_.renew();
    SetUp();
    if (c.absolute) {
      ASSERT_EQ(ios_file_set_flag_one(file_, nullptr), 0);
    }
    std::vector<uint8_t> bytes{1, 2, 3, 4};
    IosHandle data = section(".a", 4, &bytes);
    ASSERT_EQ(ios_section_set_address_value(data, 0x1000, 0, nullptr), 0);
    if (c.number != 0) {
      ASSERT_EQ(ios_section_set_number(data, c.number, nullptr), 0);
    }
    // A symbol of the section whose value is a plain number is written as absolute.
    IosHandle at2{};
    ASSERT_EQ(ios_symbol_create_with_slot(file_, globalScope(), ExprSlotRef{0, nullptr}, &at2,
                                          nullptr),
              0);
    ASSERT_EQ(ios_symbol_set_name(at2, text("at2"), nullptr), 0);
    ASSERT_EQ(ios_symbol_set_section(at2, data, nullptr), 0);
    ExprNode* value = integer(0x1002);
    ASSERT_EQ(ios_symbol_set_value_expr(at2, value, nullptr), 0);
    expr_release(value);
    Translation seen;
    ElfImage image;
    ASSERT_EQ(writeWith(&image, c.withTranslator ? shiftBySection : nullptr, &seen, c.row), 0u)
        << c.name;
    int index = image.sectionIndex(".a");
    ASSERT_GE(index, 0) << c.name;
    EXPECT_EQ(image.sections()[index].addr, c.address) << c.name;
    bool found = false;
    for (const ReadSymbol& symbolRead : image.symbols()) {
      if (symbolRead.name != "at2") continue;
      found = true;
      EXPECT_EQ(symbolRead.value, c.symbolValue) << c.name;
    }
    EXPECT_TRUE(found) << c.name;
    EXPECT_EQ(seen.calls, c.calls) << c.name;
    if (c.calls != 0) {
      EXPECT_EQ(seen.parameter, 7u) << c.name;
    }
  }
}

TEST_F(ElfSecondWriter, FailingTranslatorFailsTheWrite) {
  MachineEntry translatingRow = *ios_machine_find("TRI");
  translatingRow.address_callback_argument = 7;
  ASSERT_EQ(ios_file_set_flag_one(file_, nullptr), 0);
  IosHandle data = section(".a", 4, nullptr);
  ASSERT_EQ(ios_section_set_number(data, 1, nullptr), 0);
  ElfImage image;
  EXPECT_EQ(writeWith(&image, refuse, nullptr, &translatingRow),
            uint32_t{OBJLIB_ERR_ADDRESS_OVERFLOW});
}

TEST_F(ElfSecondWriter, WithoutTranslatorTheBytesAreTheAssemblersOwn) {
  std::vector<uint8_t> bytes{9, 8, 7, 6};
  IosHandle code = section(".text", 4, &bytes, true);
  symbol(globalScope(), "entry", &code, 0);
  ElfImage own, second;
  ASSERT_EQ(write(&own), 0u);
  std::FILE* stream = std::tmpfile();
  ObjLibErrorClass error = OBJLIB_ERR_NONE;
  ASSERT_EQ(elf_write_object_ex("t.o", stream, file_, nullptr, nullptr, &error), 0);
  std::fseek(stream, 0, SEEK_END);
  second.bytes.resize(static_cast<size_t>(std::ftell(stream)));
  std::fseek(stream, 0, SEEK_SET);
  ASSERT_EQ(std::fread(second.bytes.data(), 1, second.bytes.size(), stream), second.bytes.size());
  std::fclose(stream);
  EXPECT_EQ(own.bytes, second.bytes);
}

TEST(ElfWriterUtilities, BytesForBitsRoundUpToWholeBytes) {
  struct Case {
    uint32_t bits, count, bytes;
  };
  const Case cases[] = {{17, 1, 3}, {0, 5, 0}, {8, 4, 4}, {1, 3, 3}, {64, 2, 16}, {12, 10, 20}};
  for (const Case& c : cases) EXPECT_EQ(elf_bytes_for_bits(c.bits, c.count), c.bytes) << c.bits;
}

}  // namespace
