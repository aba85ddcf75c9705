#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "objlib/StoreFileFixture.h"
#include "objlib/ios_hook.h"
#include "objlib/ios_idtable.h"
#include "objlib/ios_named_list.h"

namespace {

constexpr IosErrorCode NOT_SET = static_cast<IosErrorCode>(999);

class NamedList : public OneStoreFile {
 protected:
  std::vector<uint32_t> walk() {
    IosNamedIterator* iterator = nullptr;
    EXPECT_EQ(ios_named_list_iterator_new(file_, &iterator, nullptr), 0);
    std::vector<uint32_t> ids;
    for (int step = 0; step < 10; ++step) {
      IosHandle record{};
      EXPECT_EQ(ios_named_list_iterator_next(iterator, &record, nullptr), 0);
      ids.push_back(record.object_id);
      if (record.object_id == 0) break;
    }
    ios_named_list_iterator_free(iterator);
    return ids;
  }
  IosHandle create() {
    IosHandle record{};
    EXPECT_EQ(ios_named_record_create(file_, &record, nullptr), 0);
    return record;
  }
};

TEST_F(NamedList, IteratesInCreationOrderAndSkipsUnlinkedRecords) {
  EXPECT_EQ(walk(), (std::vector<uint32_t>{0}));
  for (uint32_t id = 1; id <= 3; ++id) EXPECT_EQ(create().object_id, id);
  EXPECT_EQ(walk(), (std::vector<uint32_t>{1, 2, 3, 0}));
  ASSERT_EQ(ios_named_record_unlink(IosHandle{file_, 2}, nullptr), 0);
  EXPECT_EQ(walk(), (std::vector<uint32_t>{1, 3, 0}));
  // The unlinked record is still found by its id.
  IosNamedRecord* record = nullptr;
  EXPECT_EQ(ios_get_named_record(IosHandle{file_, 2}, &record, nullptr), 0);
}

TEST_F(NamedList, IteratorStandingOnAnUnlinkedRecordMovesOn) {
  for (int i = 0; i < 3; ++i) create();
  IosNamedIterator* iterator = nullptr;
  ASSERT_EQ(ios_named_list_iterator_new(file_, &iterator, nullptr), 0);
  IosHandle record{};
  ASSERT_EQ(ios_named_list_iterator_next(iterator, &record, nullptr), 0);
  EXPECT_EQ(record.object_id, 1u);
  // The iterator stands on record 2 now; unlinking it keeps the cell for the iterator.
  ASSERT_EQ(ios_named_record_unlink(IosHandle{file_, 2}, nullptr), 0);
  ASSERT_EQ(ios_named_record_unlink(IosHandle{file_, 3}, nullptr), 0);
  ASSERT_EQ(ios_named_list_iterator_next(iterator, &record, nullptr), 0);
  EXPECT_EQ(record.object_id, 0u);
  ios_named_list_iterator_free(iterator);
  EXPECT_EQ(walk(), (std::vector<uint32_t>{1, 0}));
  IosNamedListAdmin* admin = nullptr;
  IosFile* file = nullptr;
  ASSERT_EQ(ios_get_file(file_, &file, nullptr), 0);
  admin = file->named_lists;
  // Cells of unlinked records have left the list once no iterator holds them.
  EXPECT_EQ(admin->first, admin->last);
}

int lastEvent = 0;
int recordEvent(int event) {
  lastEvent = event;
  return 0;
}

TEST_F(NamedList, MissingRecordsAndGroupsAreErrorsNotSuccess) {
  IosHandle record = create();
  uint32_t group = 0;
  ASSERT_EQ(ios_named_record_add_group(record, &group, nullptr), 0);
  EXPECT_EQ(group, 1u);
  struct Case {
    const char* name;
    int status;
    IosErrorCode error;
  };
  IosErrorCode errors[6];
  for (IosErrorCode& e : errors) e = NOT_SET;
  IosNamedRecord* found = nullptr;
  IosHandle name{};
  uint32_t count = 0;
  const Case cases[] = {
      {"record id without entry", ios_get_named_record(IosHandle{file_, 7}, &found, &errors[0]),
       IOS_ERR_NO_FILE},
      {"record id 0", ios_get_named_record(IosHandle{file_, 0}, &found, &errors[1]),
       IOS_ERR_NO_FILE},
      {"group 0", ios_named_group_item_count(record, 0, &count, &errors[2]), IOS_ERR_NO_PROPERTY},
      {"group past the last", ios_named_group_get_name(record, 2, &name, &errors[3]),
       IOS_ERR_NO_PROPERTY},
      {"unlink of no record", ios_named_record_unlink(IosHandle{file_, 9}, &errors[4]),
       IOS_ERR_NO_FILE},
      {"name set twice", (ios_named_record_set_name(record, IosHandle{file_, 1}, nullptr),
                          ios_named_record_set_name(record, IosHandle{file_, 2}, &errors[5])),
       IOS_ERR_VALUE_EXISTS},
  };
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    EXPECT_EQ(cases[i].status, 1) << cases[i].name;
    EXPECT_EQ(errors[i], cases[i].error) << cases[i].name;
  }
  IosHookFunction previous = ios_set_hook(recordEvent);
  lastEvent = 0;
  ASSERT_EQ(ios_named_record_unlink(record, nullptr), 0);
  EXPECT_EQ(lastEvent, 0);
  ASSERT_EQ(ios_named_record_unlink(record, nullptr), 0);
  EXPECT_EQ(lastEvent, IOS_EVENT_FIVE);
  ios_set_hook(previous);
}

TEST_F(NamedList, GroupsHoldTheirOwnItems) {
  IosHandle record = create();
  int a = 0, b = 0, c = 0;
  uint32_t first = 0, second = 0;
  ASSERT_EQ(ios_named_record_add_group(record, &first, nullptr), 0);
  ASSERT_EQ(ios_named_record_add_group(record, &second, nullptr), 0);
  ASSERT_EQ(ios_named_group_add_item(record, second, &a, nullptr), 0);
  ASSERT_EQ(ios_named_group_add_item(record, second, &b, nullptr), 0);
  ASSERT_EQ(ios_named_record_add_item(record, &c, nullptr), 0);
  uint32_t count = 9;
  ASSERT_EQ(ios_named_group_item_count(record, first, &count, nullptr), 0);
  EXPECT_EQ(count, 0u);
  ASSERT_EQ(ios_named_group_item_count(record, second, &count, nullptr), 0);
  EXPECT_EQ(count, 2u);
  void* item = nullptr;
  ASSERT_EQ(ios_named_group_item_at(record, second, 1, &item, nullptr), 0);
  EXPECT_EQ(item, &b);
  ASSERT_EQ(ios_named_group_item_at(record, second, 2, &item, nullptr), 0);
  EXPECT_EQ(item, nullptr);
  EXPECT_EQ(ios_named_record_item_at(record, 0), &c);
  EXPECT_EQ(ios_named_record_item_at(record, 1), nullptr);
}

TEST(StorageUtilities, MauFillWritesUnitsOfTheWidth) {
  struct Case {
    uint32_t bits;
    std::vector<uint8_t> bytes;  // of a 16-byte buffer after filling units 1 and 2 with 0x1234ABCD
  };
  const Case cases[] = {
      {8, {0, 0xCD, 0xCD, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {12, {0, 0, 0xCD, 0xAB, 0xCD, 0xAB, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {32, {0, 0, 0, 0, 0xCD, 0xAB, 0x34, 0x12, 0xCD, 0xAB, 0x34, 0x12, 0, 0, 0, 0}},
      {65, std::vector<uint8_t>(16, 0)},
  };
  for (const Case& c : cases) {
    alignas(8) uint8_t buffer[24] = {};
    ios_mau_fill(buffer, c.bits, 1, 2, 0x1234ABCD);
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 16), c.bytes) << c.bits;
  }
  alignas(8) uint8_t wide[24] = {};
  ios_mau_fill(wide, 64, 1, 1, 0xFFFFFFFF);
  EXPECT_EQ(std::vector<uint8_t>(wide + 8, wide + 16),
            (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}));
}

TEST(StorageUtilities, RemovingTheLastItemOnlyClearsIt) {
  IdTable* table = idtab_new();
  int items[3] = {};
  for (int& item : items) ASSERT_EQ(idtab_append(table, &item), 0);
  ASSERT_EQ(idtab_remove_at(table, 2), 0);
  EXPECT_EQ(table->highest_id, 2u);
  EXPECT_EQ(idtab_get(table, 2), nullptr);
  EXPECT_EQ(idtab_get(table, 1), &items[1]);
  ASSERT_EQ(idtab_remove_at(table, 0), 0);
  EXPECT_EQ(idtab_get(table, 0), &items[1]);
  EXPECT_EQ(idtab_remove_at(table, 1), -1);
  EXPECT_EQ(idtab_remove_at(nullptr, 0), -1);
  idtab_clear(table);
  EXPECT_EQ(table->highest_id, 0u);
  EXPECT_EQ(idtab_get(table, 0), nullptr);
  idtab_delete(table);
}

TEST(StorageUtilities, RecordListsCountAndAppendTheHandlesRecordId) {
  struct Case {
    const char* name;
    std::vector<uint32_t> record_ids;  // third words of the handles appended in turn
  };
  const Case cases[] = {
      {"empty list", {}},
      {"one id", {7}},
      {"ids in append order, repeats kept", {3, 1, 3, 40}},
  };
  for (const Case& c : cases) {
    IdTable* list = idtab_new();
    ASSERT_NE(list, nullptr);
    for (uint32_t id : c.record_ids) {
      const uint32_t handle[3] = {99, 98, id};
      IosErrorCode error = NOT_SET;
      ASSERT_EQ(ios_record_list_append_id(list, handle, &error), 0) << c.name;
      EXPECT_EQ(error, NOT_SET) << c.name;
    }
    uint32_t count = 12345;
    ASSERT_EQ(ios_record_list_count(list, &count), 0) << c.name;
    EXPECT_EQ(count, c.record_ids.size()) << c.name;
    for (size_t i = 0; i < c.record_ids.size(); ++i)
      EXPECT_EQ(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(idtab_get(list, i))),
                c.record_ids[i])
          << c.name << " entry " << i;
    idtab_delete(list);
  }
  // A record without a list answers 1 and leaves the outputs alone.
  uint32_t count = 12345;
  const uint32_t handle[3] = {1, 1, 5};
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_record_list_count(nullptr, &count), 1);
  EXPECT_EQ(count, 12345u);
  EXPECT_EQ(ios_record_list_append_id(nullptr, handle, &error), 1);
  EXPECT_EQ(error, NOT_SET);
}

TEST_F(NamedList, CursorWalksLinkedRecordsAndReleasesTheCellsItHeld) {
  struct Case {
    const char* name;
    std::vector<uint32_t> unlinkedBefore;  // ids unlinked before the cursor is made
    uint32_t stepsFirst;                   // advances before the next unlinks
    std::vector<uint32_t> unlinkedDuring;
    std::vector<uint32_t> rest;  // what the advances give afterwards, 0 at the end
  };
  const Case cases[] = {
      {"nothing unlinked", {}, 0, {}, {1, 2, 3, 4, 0}},
      {"unlinked before the walk", {2}, 0, {}, {1, 3, 4, 0}},
      {"the record under the cursor", {}, 1, {2}, {3, 4, 0}},
      {"the record under the cursor and the next", {}, 1, {2, 3}, {4, 0}},
      {"every record after the first", {}, 1, {2, 3, 4}, {0}},
      {"the first record before the walk", {1}, 0, {}, {2, 3, 4, 0}},
      {"every record", {1, 2, 3, 4}, 0, {}, {0}},
  };
  for (const Case& c : cases) {
    SetUp();
    for (int i = 0; i < 4; ++i) create();
    IosFile* file = nullptr;
    ASSERT_EQ(ios_get_file(file_, &file, nullptr), 0);
    IosNamedListAdmin* admin = file->named_lists;
    for (uint32_t id : c.unlinkedBefore)
      ASSERT_EQ(ios_named_record_unlink(IosHandle{file_, id}, nullptr), 0) << c.name;
    IosNamedCursor* cursor = ios_named_list_first(admin);
    // A list left without linked records gives no cursor; advancing none answers 0.
    ASSERT_EQ(cursor == nullptr, c.unlinkedBefore.size() == 4) << c.name;
    for (uint32_t step = 0; step < c.stepsFirst; ++step) ios_named_list_advance(admin, cursor);
    for (uint32_t id : c.unlinkedDuring)
      ASSERT_EQ(ios_named_record_unlink(IosHandle{file_, id}, nullptr), 0) << c.name;
    std::vector<uint32_t> rest;
    for (size_t step = 0; step < c.rest.size(); ++step)
      rest.push_back(ios_named_list_advance(admin, cursor));
    EXPECT_EQ(rest, c.rest) << c.name;
    ios_cursor_free(admin, cursor);
    // With the cursor gone, only the cells of linked records are left.
    uint32_t cells = 0;
    for (IosNamedCell* cell = admin->first; cell != nullptr; cell = cell->next) {
      EXPECT_NE(cell->record_id, 0u) << c.name;
      EXPECT_EQ(cell->references, 1u) << c.name;
      ++cells;
    }
    EXPECT_EQ(cells, 4 - c.unlinkedBefore.size() - c.unlinkedDuring.size()) << c.name;
  }
}

// The first cursor stands on the first linked record and counts one more use of its
// cell; a list without linked records gives no cursor at all, and that is no misuse.
TEST_F(NamedList, FirstCursorOfAnEmptyListIsNone) {
  struct Case {
    const char* name;
    uint32_t records;
    std::vector<uint32_t> unlinked;
    uint32_t first;  // record id under the cursor; 0: no cursor
  };
  const Case cases[] = {
      {"no record ever made", 0, {}, 0},
      {"every record unlinked", 2, {1, 2}, 0},
      {"the first record unlinked", 3, {1}, 2},
      {"nothing unlinked", 2, {}, 1},
  };
  IosHookFunction previous = ios_set_hook(recordEvent);
  for (const Case& c : cases) {
    TearDown();
    SetUp();
    for (uint32_t i = 0; i < c.records; ++i) create();
    for (uint32_t id : c.unlinked) ASSERT_EQ(ios_named_record_unlink(IosHandle{file_, id}, nullptr), 0) << c.name;
    IosFile* file = nullptr;
    ASSERT_EQ(ios_get_file(file_, &file, nullptr), 0);
    IosNamedListAdmin* admin = file->named_lists;
    IosNamedListAdmin* own = admin == nullptr ? ios_named_list_admin_new() : nullptr;
    if (own != nullptr) admin = own;
    ASSERT_NE(admin, nullptr) << c.name;
    lastEvent = 0;
    IosNamedCursor* cursor = ios_named_list_first(admin);
    EXPECT_EQ(lastEvent, 0) << c.name;
    if (c.first == 0) {
      EXPECT_EQ(cursor, nullptr) << c.name;
    } else {
      ASSERT_NE(cursor, nullptr) << c.name;
      ASSERT_NE(cursor->cell, nullptr) << c.name;
      EXPECT_EQ(cursor->cell->record_id, c.first) << c.name;
      EXPECT_EQ(cursor->cell->references, 2u) << c.name;
    }
    ios_cursor_free(admin, cursor);
    ios_named_list_admin_free(own);
    // An iterator over the same list answers the end at once.
    if (c.first == 0) {
      IosNamedIterator* iterator = nullptr;
      IosErrorCode error = NOT_SET;
      ASSERT_EQ(ios_named_list_iterator_new(file_, &iterator, &error), 0) << c.name;
      EXPECT_EQ(error, NOT_SET) << c.name;
      IosHandle record{7, 7};
      EXPECT_EQ(ios_named_list_iterator_next(iterator, &record, nullptr), 0) << c.name;
      EXPECT_EQ(record.file_id, file_) << c.name;
      EXPECT_EQ(record.object_id, 0u) << c.name;
      EXPECT_EQ(lastEvent, 0) << c.name;
      ios_named_list_iterator_free(iterator);
    }
  }
  ios_set_hook(previous);
}

TEST_F(NamedList, EntryLookupAndCursorMisuse) {
  IosHandle made = create();
  IosFile* file = nullptr;
  ASSERT_EQ(ios_get_file(file_, &file, nullptr), 0);
  IosNamedRecord* record = nullptr;
  ASSERT_EQ(ios_named_entry_lookup(file->named_lists->entries, made.object_id, &record, nullptr), 0);
  EXPECT_EQ(record->handle.object_id, made.object_id);
  IosErrorCode error = NOT_SET;
  EXPECT_EQ(ios_named_entry_lookup(file->named_lists->entries, 2, &record, &error), 1);
  EXPECT_EQ(error, IOS_ERR_NO_FILE);

  IosHookFunction previous = ios_set_hook(recordEvent);
  lastEvent = 0;
  EXPECT_EQ(ios_named_list_first(nullptr), nullptr);
  EXPECT_EQ(lastEvent, IOS_EVENT_INCONSISTENCY);
  lastEvent = 0;
  EXPECT_EQ(ios_named_list_advance(file->named_lists, nullptr), 0u);
  EXPECT_EQ(lastEvent, IOS_EVENT_INCONSISTENCY);
  ios_set_hook(previous);

  IdTable* table = idtab_new();
  EXPECT_EQ(idtab_free(table), 0);
  EXPECT_EQ(idtab_free(nullptr), -1);
}

}  // namespace
