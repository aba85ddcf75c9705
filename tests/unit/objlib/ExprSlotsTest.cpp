// Location slots across store files, the expression stack and tree rewriting.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "StoreFileFixture.h"
#include "objlib/expr_slots.h"
#include "objlib/expr_values.h"
#include "objlib/ios_section.h"
#include "objlib/objlib_state.h"

namespace {

int64_t valueOf(const ExprNode* node) {
  int64_t value = 0;
  std::memcpy(&value, expr_value_bytes(node), 8);
  return value;
}

class ExprSlots : public OneStoreFile {
 protected:
  void SetUp() override {
    OneStoreFile::SetUp();
    ASSERT_EQ(ios_file_create(&other_, nullptr), 0);
    ASSERT_EQ(ios_file_get_expr_context(other_, &importer_, nullptr), 0);
  }

  ExprSlotRef newSlot(ExprLibContext* context) {
    ExprSlotRef slot{};
    EXPECT_EQ(ios_entry_array_push(context, &slot, nullptr), 0);
    return slot;
  }
  ExprNode* held(ExprSlotRef slot) { return slot.context->slots.entries[slot.index].expr; }
  ExprNode* reference(ExprSlotRef slot) {
    ExprNode* node = nullptr;
    EXPECT_EQ(objexpr_make_slot_ref(context_, &node, slot.index, slot.context), 0);
    return node;
  }
  // Stores the node and drops the caller's reference.
  void put(ExprSlotRef slot, ExprNode* node) {
    expr_slot_set(slot.index, slot.context, node);
    expr_release(node);
  }

  uint32_t other_ = 0;
  ExprLibContext* importer_ = nullptr;
};

TEST_F(ExprSlots, ImportedSlotsFollowTheirOwner) {
  ExprSlotRef owned = newSlot(context_);
  put(owned, integer(40));
  ExprSlotRef imported{};
  ASSERT_EQ(expr_import_slot(importer_, &imported, owned.index, context_), 0);
  EXPECT_EQ(imported.context, importer_);
  ASSERT_NE(held(imported), nullptr);
  EXPECT_EQ(held(imported)->context, importer_);
  EXPECT_EQ(valueOf(held(imported)), 40);
  // A second import hands back the same slot.
  ExprSlotRef again{};
  ASSERT_EQ(expr_import_slot(importer_, &again, owned.index, context_), 0);
  EXPECT_EQ(again.index, imported.index);
  put(owned, integer(41));
  EXPECT_EQ(valueOf(held(imported)), 41);
  // The store's own setter re-derives as well.
  ExprNode* value = integer(42);
  ios_location_set(owned, value, nullptr);
  expr_release(value);
  EXPECT_EQ(valueOf(held(imported)), 42);
  expr_slot_set(owned.index, context_, nullptr);
  EXPECT_EQ(held(imported), nullptr);
  // Importing from the context itself is the slot itself.
  ExprSlotRef self{};
  ASSERT_EQ(expr_import_slot(context_, &self, owned.index, context_), 0);
  EXPECT_EQ(self.index, owned.index);
  EXPECT_EQ(self.context, context_);
}

TEST_F(ExprSlots, DependantsChainThroughContexts) {
  uint32_t third = 0;
  ExprLibContext* last = nullptr;
  ASSERT_EQ(ios_file_create(&third, nullptr), 0);
  ASSERT_EQ(ios_file_get_expr_context(third, &last, nullptr), 0);
  ExprSlotRef owned = newSlot(context_);
  ExprSlotRef middle{};
  ASSERT_EQ(expr_import_slot(importer_, &middle, owned.index, context_), 0);
  EXPECT_EQ(held(middle), nullptr);
  ExprSlotRef end{};
  ASSERT_EQ(expr_import_slot(last, &end, middle.index, importer_), 0);
  put(owned, integer(7));
  ASSERT_NE(held(end), nullptr);
  EXPECT_EQ(valueOf(held(end)), 7);
  EXPECT_EQ(held(end)->context, last);
}

TEST_F(ExprSlots, ACycleOfDependantsIsRefused) {
  ExprSlotRef a = newSlot(context_);
  ExprSlotRef b = newSlot(importer_);
  // a feeds b and b feeds a: a store must end, and say so.
  ASSERT_EQ(expr_slot_add_dependant(importer_, b.index, importer_, a.index, context_), 0);
  ASSERT_EQ(expr_slot_add_dependant(context_, a.index, context_, b.index, importer_), 0);
  context_->error = 0;
  importer_->error = 0;
  put(a, integer(5));
  EXPECT_EQ(valueOf(held(a)), 5);
  EXPECT_EQ(valueOf(held(b)), 5);
  EXPECT_EQ(importer_->error, 1u);
  // A slot that names itself as its own dependant.
  ExprSlotRef self = newSlot(context_);
  ASSERT_EQ(expr_slot_add_dependant(context_, self.index, context_, self.index, context_), 0);
  context_->error = 0;
  put(self, integer(6));
  EXPECT_EQ(valueOf(held(self)), 6);
  EXPECT_EQ(context_->error, 1u);
}

TEST_F(ExprSlots, FreeingAnImporterLeavesTheOwnerSound) {
  ExprSlotRef owned = newSlot(context_);
  ExprSlotRef imported{};
  ASSERT_EQ(expr_import_slot(importer_, &imported, owned.index, context_), 0);
  ASSERT_EQ(ios_file_delete(other_, nullptr), 0);
  put(owned, integer(3));  // nothing is written into the freed context
  EXPECT_EQ(valueOf(held(owned)), 3);
}

TEST_F(ExprSlots, ResolvingReplacesReferencesUntilNoneIsLeft) {
  ExprSlotRef inner = newSlot(context_);
  ExprSlotRef outer = newSlot(context_);
  put(inner, integer(2));
  ExprNode* sum = nullptr;
  ExprNode* toInner = reference(inner);
  ExprNode* one = integer(1);
  ASSERT_EQ(objexpr_make_operator(context_, &sum, EXPR_ADD, 2, toInner, one), 0);
  expr_release(toInner);
  expr_release(one);
  put(outer, sum);
  ExprSlotRef empty = newSlot(context_);
  ExprNode* tree = nullptr;
  ExprNode* toOuter = reference(outer);
  ExprNode* toEmpty = reference(empty);
  ASSERT_EQ(objexpr_make_operator(context_, &tree, EXPR_MUL, 2, toOuter, toEmpty), 0);
  expr_release(toOuter);
  expr_release(toEmpty);
  ASSERT_EQ(expr_resolve_references(&tree), 0);
  ExprNode* first = expr_operand(tree, 0);
  EXPECT_EQ(first->kind, EXPR_ADD);
  EXPECT_EQ(expr_operand(first, 0)->kind, EXPR_VALUE);
  EXPECT_EQ(valueOf(expr_operand(first, 0)), 2);
  EXPECT_EQ(expr_operand(tree, 1)->kind, EXPR_SLOT_REF);  // its slot is empty
  EXPECT_EQ(held(outer)->kind, EXPR_ADD);  // the slot keeps its own tree
  expr_release(tree);
}

TEST_F(ExprSlots, ResolvingACycleOfSlotsFails) {
  struct Case {
    const char* what;
    uint32_t length;
  };
  const Case cases[] = {{"a slot holding a reference to itself", 1}, {"two slots", 2},
                        {"three slots", 3}};
  for (const Case& c : cases) {
    std::vector<ExprSlotRef> slots;
    for (uint32_t i = 0; i < c.length; ++i) slots.push_back(newSlot(context_));
    for (uint32_t i = 0; i < c.length; ++i) put(slots[i], reference(slots[(i + 1) % c.length]));
    ExprNode* tree = reference(slots[0]);
    context_->error = 0;
    EXPECT_EQ(expr_resolve_references(&tree), 1) << c.what;
    EXPECT_EQ(context_->error, 1u) << c.what;
    EXPECT_EQ(tree->kind, EXPR_SLOT_REF) << c.what;
    expr_release(tree);
    for (ExprSlotRef slot : slots) expr_slot_set(slot.index, context_, nullptr);
  }
}

int countLeaves(ExprNode* node, void* argument) {
  static_cast<std::vector<int32_t>*>(argument)->push_back(node->kind);
  return 0;
}

int replaceValues(ExprNode** place, void* argument, int* replaced) {
  ExprNode* node = *place;
  if (node->kind != EXPR_VALUE || valueOf(node) != 1) return 0;
  ExprNode* made = nullptr;
  objexpr_make_integer(static_cast<ExprLibContext*>(argument), &made, 100);
  *place = made;
  expr_release(node);
  *replaced = 1;
  return 0;
}

TEST_F(ExprSlots, VisitAndRewriteWalkLastOperandFirst) {
  ExprNode* convert = nullptr;
  ExprNode* hidden = integer(1);
  ASSERT_EQ(objexpr_make_operator(context_, &convert, EXPR_CONVERT, 1, hidden), 0);
  expr_release(hidden);
  ExprNode* deferred = nullptr;
  ExprNode* inside = integer(1);
  ASSERT_EQ(objexpr_make_deferred(context_, &deferred, 3, inside), 0);
  expr_release(inside);
  ExprSlotRef slot = newSlot(context_);
  ExprNode* list = nullptr;
  ASSERT_EQ(objexpr_make_operator(context_, &list, EXPR_LIST, 0), 0);
  for (ExprNode* operand : {integer(1), reference(slot), convert, deferred}) {
    expr_add_operand(list, operand);
    expr_release(operand);
  }
  std::vector<int32_t> kinds;
  EXPECT_EQ(expr_visit(list, countLeaves, &kinds), 0);
  EXPECT_EQ(kinds, (std::vector<int32_t>{EXPR_VALUE, EXPR_SLOT_REF, EXPR_VALUE}));
  EXPECT_EQ(expr_visit(convert, countLeaves, &kinds), 0);
  EXPECT_EQ(expr_visit(nullptr, countLeaves, &kinds), 0);
  EXPECT_EQ(kinds.size(), 3u);
  ASSERT_EQ(expr_rewrite(&list, replaceValues, context_), 0);
  EXPECT_EQ(valueOf(expr_operand(list, 0)), 100);
  EXPECT_EQ(valueOf(deferred->payload.deferred.operand), 100);
  EXPECT_EQ(valueOf(convert->payload.held), 1);  // kind 31 is left alone
  expr_release(list);
}

TEST_F(ExprSlots, StackCollectTakesEverythingTopFirst) {
  objlib_state_reset();
  ExprNode* list = reinterpret_cast<ExprNode*>(0x1);
  objlib_state().current_expr_context = context_;
  EXPECT_EQ(expr_stack_collect(&list), 0);
  EXPECT_EQ(list, nullptr);
  ObjlibProcessState& state = objlib_state();
  for (int64_t v : {1, 2, 3}) state.expr_stack[++state.expr_stack_top] = integer(v);
  ExprNode* top = nullptr;
  EXPECT_EQ(expr_stack_pop(&top), 1);
  EXPECT_EQ(valueOf(top), 3);
  expr_release(top);
  ASSERT_EQ(expr_stack_collect(&list), 0);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->kind, EXPR_LIST);
  EXPECT_EQ(expr_operand_count(list), 2u);
  EXPECT_EQ(valueOf(expr_operand(list, 0)), 2);
  EXPECT_EQ(expr_operand(list, 0)->ref_count, 1);
  EXPECT_EQ(state.expr_stack_top, -1);
  EXPECT_EQ(expr_stack_pop(&top), 0);
  EXPECT_EQ(top, nullptr);
  uint32_t live = expr_live_node_count(context_);
  expr_release(list);
  EXPECT_EQ(expr_live_node_count(context_), live - 3);
  objlib_state_reset();
}

TEST_F(ExprSlots, ContextFieldsAndFreshSlotTables) {
  context_->error = 8;
  EXPECT_EQ(expr_get_error(context_), 8u);
  EXPECT_EQ(expr_clear_error(context_), 0);
  EXPECT_EQ(expr_get_error(context_), 0u);
  ExprSlotRef slot = newSlot(context_);
  put(slot, integer(1));
  uint32_t live = expr_live_node_count(context_);
  IdTable* second = expr_context_init_slots(context_);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second, context_->slot_table2);
  EXPECT_NE(context_->dependants, nullptr);
  EXPECT_EQ(context_->slots.next_index, 1u);
  EXPECT_EQ(context_->slots.capacity, 1000u);
  EXPECT_EQ(expr_live_node_count(context_), live - 1);  // the old slot's value went
  EXPECT_EQ(context_->slots.entries[1].expr, nullptr);
}

TEST_F(ExprSlots, ValueRecordsCanBeFreedAndMadeAgain) {
  ExprValueObject* value = expr_new_value(context_);
  ASSERT_NE(value, nullptr);
  ASSERT_EQ(expr_value_set_text(context_, value, "text"), 0);
  EXPECT_EQ(expr_free_value_records(context_), 0);
  EXPECT_EQ(context_->values, nullptr);
  EXPECT_EQ(context_->value_pool, nullptr);
  ExprValueObject* again = expr_new_value(context_);
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(context_->values, again);
}

}  // namespace
