#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "ElfStoreFixture.h"
#include "objlib/elf_reloc.h"

namespace {

// One code section with two global symbols a (index 3) and b (index 4) in it, and the
// relocation under test at unit offset 6.
class ElfReloc : public ElfStore {
 public:
  void SetUp() override {
    ElfStore::SetUp();
    text_ = section(".text", 16, &bytes_, true);
    IosHandle globals = globalScope();
    a_ = symbol(globals, "a", &text_, 0);
    b_ = symbol(globals, "b", &text_, 8);
  }

  std::vector<ReadRela> relocationsOf(ExprNode* expression, uint32_t type, uint32_t* failure) {
    relocate(text_, 6, expression, type);
    ElfImage elf;
    *failure = write(&elf);
    return *failure == 0 ? elf.relocations(".rela.text") : std::vector<ReadRela>{};
  }

  std::vector<uint8_t> bytes_ = std::vector<uint8_t>(16, 0);
  IosHandle text_{}, a_{}, b_{};
};

constexpr uint32_t kText = 2, kA = 3, kB = 4;

TEST_F(ElfReloc, ExpressionsBecomeOneRecordOrAPostfixRun) {
  struct Case {
    const char* name;
    std::function<ExprNode*(ElfReloc*)> expression;
    uint32_t type;
    std::vector<ReadRela> records;
  };
  const Case cases[] = {
      {"symbol plus constant", [](ElfReloc* t) { return t->add(t->ref(t->a_), t->integer(4)); },
       2, {{6, kA << 8 | 2, 4}}},
      {"constants on both sides add up",
       [](ElfReloc* t) { return t->add(t->add(t->integer(4), t->ref(t->a_)), t->integer(8)); }, 2,
       {{6, kA << 8 | 2, 12}}},
      {"negative constant", [](ElfReloc* t) { return t->add(t->ref(t->b_), t->integer(-8)); }, 3,
       {{6, kB << 8 | 3, 0xFFFFFFF8u}}},
      {"type keeps its low byte", [](ElfReloc* t) { return t->ref(t->a_); }, 0x10B,
       {{6, kA << 8 | 0x0B, 0}}},
      {"two symbols make a run",
       [](ElfReloc* t) { return t->add(t->ref(t->a_), t->ref(t->b_)); }, 2,
       {{6, kA << 8 | 0xFD, 0}, {6, kB << 8 | 0xFD, 0}, {6, 0xFE, 0x7}, {6, 0xFF, 2}}},
      {"difference",
       [](ElfReloc* t) { return t->op(EXPR_SUB, {t->ref(t->a_), t->ref(t->b_)}); }, 2,
       {{6, kA << 8 | 0xFD, 0}, {6, kB << 8 | 0xFD, 0}, {6, 0xFE, 0x8}, {6, 0xFF, 2}}},
      {"constant alone", [](ElfReloc* t) { return t->integer(0x1234); }, 3,
       {{6, 0xFD, 0x1234}, {6, 0xFF, 3}}},
      {"closing record keeps the whole type",
       [](ElfReloc* t) { return t->op(EXPR_NEG, {t->ref(t->a_)}); }, 0x1234,
       {{6, kA << 8 | 0xFD, 0}, {6, 0xFE, 0x1}, {6, 0xFF, 0x1234}}},
      {"conditional takes three operands in order",
       [](ElfReloc* t) {
         return t->op(EXPR_COND, {t->ref(t->a_), t->integer(1), t->ref(t->b_)});
       },
       2,
       {{6, kA << 8 | 0xFD, 0},
        {6, 0xFD, 1},
        {6, kB << 8 | 0xFD, 0},
        {6, 0xFE, 0x403},
        {6, 0xFF, 2}}},
      {"pushed symbol carries its own addend",
       [](ElfReloc* t) {
         return t->op(EXPR_SHR, {t->add(t->ref(t->a_), t->integer(2)), t->integer(16)});
       },
       2,
       {{6, kA << 8 | 0xFD, 0},
        {6, 0xFD, 2},
        {6, 0xFE, 0x7},
        {6, 0xFD, 16},
        {6, 0xFE, 0xA},
        {6, 0xFF, 2}}},
      {"section address resolves to the section symbol",
       [](ElfReloc* t) {
         ExprSlotRef slot{};
         EXPECT_EQ(ios_section_get_address_slot(t->text_, &slot, nullptr), 0);
         return t->add(t->slotRef(slot), t->integer(6));
       },
       2, {{6, kText << 8 | 2, 6}}},
  };
  for (const Case& c : cases) {
    TearDown();
    SetUp();
    uint32_t failure = 0;
    std::vector<ReadRela> records = relocationsOf(c.expression(this), c.type, &failure);
    EXPECT_EQ(failure, 0u) << c.name;
    EXPECT_EQ(records, c.records) << c.name;
  }
}

TEST_F(ElfReloc, SymbolPlusConstantRecordHasTheBytesOfItsThreeWords) {
  relocate(text_, 6, add(ref(a_), integer(4)), 2);
  ElfImage elf;
  ASSERT_EQ(write(&elf), 0u);
  const ReadSection rela = elf.sections().at(5);
  ASSERT_EQ(rela.size, 12u);
  const unsigned char expected[] = {6, 0, 0, 0, 0x02, kA, 0, 0, 4, 0, 0, 0};
  EXPECT_EQ(std::memcmp(elf.bytes.data() + rela.offset, expected, sizeof expected), 0);
}

TEST_F(ElfReloc, ExpressionsWithoutARecordFormFail) {
  struct Case {
    const char* name;
    std::function<ExprNode*(ElfReloc*)> expression;
    ObjLibErrorClass expected;
  };
  const Case cases[] = {
      {"true node",
       [](ElfReloc* t) {
         ExprNode* node = nullptr;
         EXPECT_EQ(expr_new_node(t->context_, &node), 0);
         node->kind = EXPR_TRUE;
         return t->op(EXPR_BIT_OR, {t->ref(t->a_), node});
       },
       OBJLIB_ERR_SYNTAX},
      // A slot that no symbol and no section owns would otherwise bind the record to
      // the null symbol.
      {"reference to nothing",
       [](ElfReloc* t) {
         ExprSlotRef slot{};
         EXPECT_EQ(ios_entry_array_push(t->context_, &slot, nullptr), 0);
         return t->add(t->slotRef(slot), t->integer(1));
       },
       OBJLIB_ERR_OBJECT_STORE},
      {"run pushing a reference to nothing",
       [](ElfReloc* t) {
         ExprSlotRef slot{};
         EXPECT_EQ(ios_entry_array_push(t->context_, &slot, nullptr), 0);
         return t->op(EXPR_SUB, {t->slotRef(slot), t->ref(t->a_)});
       },
       OBJLIB_ERR_OBJECT_STORE},
  };
  for (const Case& c : cases) {
    TearDown();
    SetUp();
    uint32_t failure = 0;
    relocationsOf(c.expression(this), 2, &failure);
    EXPECT_EQ(failure, static_cast<uint32_t>(c.expected)) << c.name;
  }
}

TEST_F(ElfReloc, DecomposerSplitsAtMostOneReferencePlusAConstant) {
  ExprSlotRef slot_a{}, slot_b{};
  ASSERT_EQ(ios_symbol_get_slot(a_, &slot_a, nullptr), 0);
  ASSERT_EQ(ios_symbol_get_slot(b_, &slot_b, nullptr), 0);
  struct Case {
    const char* name;
    ExprNode* expression;
    bool substitute;
    int status;
    uint32_t slot;
    int64_t constant;
  };
  const Case cases[] = {
      {"value", integer(-5), false, 0, 0, -5},
      {"reference", ref(a_), false, 0, slot_a.index, 0},
      {"nested sums", add(integer(1), add(ref(b_), integer(2))), false, 0, slot_b.index, 3},
      {"two references", add(ref(a_), ref(b_)), false, 1, 0, 0},
      {"difference", op(EXPR_SUB, {ref(a_), integer(1)}), false, 1, 0, 0},
      // b's location is the section address plus 8: substitution reaches the section.
      {"substituted", add(ref(b_), integer(1)), true, 0, 0, 9},
  };
  ExprSlotRef section_slot{};
  ASSERT_EQ(ios_section_get_address_slot(text_, &section_slot, nullptr), 0);
  for (const Case& c : cases) {
    ElfReference reference{};
    int64_t constant = 0;
    EXPECT_EQ(elfw_build_relocation(c.expression, &reference, &constant, c.substitute), c.status)
        << c.name;
    if (c.status == 0) {
      uint32_t slot = c.substitute ? section_slot.index : c.slot;
      EXPECT_EQ(reference.slot_index, slot) << c.name;
      EXPECT_EQ(constant, c.constant) << c.name;
    }
    expr_release(c.expression);
  }
}

}  // namespace
