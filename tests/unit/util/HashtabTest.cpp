#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "util/hashtab.h"

namespace {

// Distinct texts that stay alive for the table's life.
std::vector<std::string> makeKeys(size_t count) {
  std::vector<std::string> keys;
  for (size_t i = 0; i < count; ++i) keys.push_back("key" + std::to_string(i));
  return keys;
}

void insertText(Hashtab* h, std::string& text) {
  ASSERT_EQ(hashtab_lookup(h, text.c_str()), nullptr);
  hashtab_insert(h, text.data());
}

TEST(HashtabTest, HashShiftsAndAddsSignedBytes) {
  struct Case {
    const char* key;
    int32_t kind;
    uint32_t hash;
  };
  const Case cases[] = {
      {"", 0, 0},
      {"a", 0, 97},
      {"ab", 0, 97 * 16 + 98},
      {"\x80", 0, 0xFFFFFF80u},          // a high byte contributes a negative value
      {"a\x80", 0, 97 * 16 - 128},
      {"ab", 1, 97},                    // only the first n bytes
      {"ab\0c", 4, ((97u * 16 + 98) * 16 * 16 + 99)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    Hashtab* h = hashtab_create(nullptr, c.kind);
    EXPECT_EQ(hashtab_hash(h, c.key), c.hash);
    hashtab_free(h);
  }
  // Over 2^15 the high half folds back in.
  Hashtab* h = hashtab_create(nullptr, 0);
  uint32_t expected = 0;
  for (char c : std::string("abcdefgh")) expected = c + (expected << 4) + (expected >> 15);
  EXPECT_EQ(hashtab_hash(h, "abcdefgh"), expected);
  hashtab_free(h);
}

TEST(HashtabTest, GrowsPastThreeQuartersToNextPrime) {
  struct Case {
    size_t inserts;
    uint32_t size;
    uint32_t highMark;
  };
  const Case cases[] = {
      {1, 11, 7},    {7, 11, 7},    {8, 31, 22},     {22, 31, 22},
      {23, 67, 45},  {46, 131, 97}, {98, 257, 187},  {1000, 2039, 1522},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.inserts);
    std::vector<std::string> keys = makeKeys(c.inserts);
    Hashtab* h = hashtab_create(nullptr, 0);
    for (std::string& key : keys) insertText(h, key);
    EXPECT_EQ(h->size, c.size);
    EXPECT_EQ(h->highMark, c.highMark);
    EXPECT_EQ(h->count, c.inserts);
    for (std::string& key : keys) EXPECT_EQ(hashtab_lookup(h, key.c_str()), key.data());
    hashtab_free(h);
  }
}

TEST(HashtabTest, NullKeyOnNewTableAllocatesNothing) {
  Hashtab* h = hashtab_create(nullptr, 0);
  EXPECT_EQ(hashtab_lookup(h, nullptr), nullptr);
  EXPECT_EQ(h->table, nullptr);
  EXPECT_EQ(h->size, 0u);
  EXPECT_EQ(hashtab_next(h), nullptr);
  char text[] = "x";
  hashtab_add_if_absent(h, nullptr);
  hashtab_add_if_absent(nullptr, text);
  EXPECT_EQ(h->table, nullptr);
  EXPECT_EQ(hashtab_lookup(h, "x"), nullptr);
  EXPECT_EQ(h->size, 11u);
  EXPECT_EQ(h->stepMask, 7u);
  EXPECT_EQ(h->lowMark, 2u);
  hashtab_free(h);
}

// With one hash for every key, the slots taken show the probe: start at h mod
// size, step (h AND stepMask) + 1, wrapping at the size.
TEST(HashtabTest, CollidingKeysFollowTheDoubleHashProbe) {
  struct Case {
    uint32_t hash;
    std::vector<size_t> slots;  // slots of the 1st, 2nd, ... colliding entry
  };
  const Case cases[] = {
      {0, {0, 1, 2, 3, 4, 5, 6}},
      {5, {5, 0, 6, 1, 7, 2, 8}},      // step 6
      {7, {7, 4, 1, 9, 6, 3, 0}},      // step 8
      {14, {3, 10, 6, 2, 9, 5, 1}},    // start 14 mod 11, step 7
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.hash);
    Hashtab* h = hashtab_create(nullptr, -1);
    h->hashFn = [](const void* key) -> uint32_t {
      return static_cast<uint32_t>(*static_cast<const uint32_t*>(key));
    };
    h->compareFn = [](const void* entry, const void* key) -> int { return entry != key; };
    std::vector<uint32_t> entries(c.slots.size(), c.hash);
    for (size_t i = 0; i < entries.size(); ++i) {
      ASSERT_EQ(hashtab_lookup(h, &entries[i]), nullptr);
      EXPECT_EQ(static_cast<size_t>(h->curpos - h->table), c.slots[i]) << "entry " << i;
      hashtab_insert(h, &entries[i]);
    }
    for (uint32_t& entry : entries) EXPECT_EQ(hashtab_lookup(h, &entry), &entry);
    hashtab_free(h);
  }
}

TEST(HashtabTest, RemovedKeyIsGoneAndReinsertTakesEmptySlotNotMarker) {
  Hashtab* h = hashtab_create(nullptr, -1);
  h->hashFn = [](const void*) -> uint32_t { return 0; };
  int entries[3];
  for (int& entry : entries) {
    ASSERT_EQ(hashtab_lookup(h, &entry), nullptr);
    hashtab_insert(h, &entry);
  }
  // Slots 0, 1, 2; remove the middle one.
  ASSERT_EQ(hashtab_lookup(h, &entries[1]), &entries[1]);
  void** markerSlot = h->curpos;
  hashtab_remove_current(h);
  EXPECT_EQ(h->deleted, 1u);
  EXPECT_EQ(hashtab_lookup(h, &entries[1]), nullptr);
  EXPECT_EQ(h->curpos, h->table + 3);
  EXPECT_NE(h->curpos, markerSlot);
  hashtab_insert(h, &entries[1]);
  EXPECT_EQ(hashtab_lookup(h, &entries[2]), &entries[2]);  // walks past the marker
  EXPECT_EQ(hashtab_lookup(h, &entries[1]), &entries[1]);
  EXPECT_EQ(h->count, 4u);  // markers still count toward growth
  hashtab_free(h);
}

TEST(HashtabTest, AddIfAbsentKeepsTheStoredEntry) {
  Hashtab* h = hashtab_create(nullptr, 0);
  char first[] = "same";
  char second[] = "same";
  hashtab_add_if_absent(h, first);
  hashtab_add_if_absent(h, second);
  EXPECT_EQ(h->count, 1u);
  EXPECT_EQ(hashtab_lookup(h, "same"), first);
  hashtab_free(h);
}

struct Record {
  int64_t id;
  const char* name;
};

const void* recordKey(const void* entry) { return &static_cast<const Record*>(entry)->id; }

TEST(HashtabTest, KeyOfCallbackSuppliesFixedSizeKeys) {
  Hashtab* h = hashtab_create(recordKey, 8);
  Record records[] = {{1, "one"}, {1ll << 40, "big"}, {-1, "minus"}};
  for (Record& record : records) hashtab_add_if_absent(h, &record);
  Record duplicate = {1, "again"};
  hashtab_add_if_absent(h, &duplicate);
  EXPECT_EQ(h->count, 3u);
  for (Record& record : records) {
    int64_t key = record.id;
    EXPECT_EQ(hashtab_lookup(h, &key), &record);
  }
  int64_t absent = 2;
  EXPECT_EQ(hashtab_lookup(h, &absent), nullptr);
  hashtab_free(h);
}

TEST(HashtabTest, IterationWithRemovalVisitsEachOnceThenShrinks) {
  std::vector<std::string> keys = makeKeys(100);
  Hashtab* h = hashtab_create(nullptr, 0);
  for (std::string& key : keys) insertText(h, key);
  ASSERT_EQ(h->size, 257u);
  std::vector<int> seen(keys.size(), 0);
  size_t visits = 0;
  while (void* entry = hashtab_next(h)) {
    ++visits;
    for (size_t i = 0; i < keys.size(); ++i) seen[i] += entry == keys[i].data();
    // Keep every tenth entry; no shrink may happen while the walk runs.
    if (std::atoi(static_cast<char*>(entry) + 3) % 10 != 0) {
      hashtab_remove_current(h);
      EXPECT_EQ(h->size, 257u);
    }
  }
  EXPECT_EQ(visits, keys.size());
  for (int count : seen) EXPECT_EQ(count, 1);
  // 10 live entries below the low mark: rebuilt for twice the live count.
  EXPECT_EQ(h->size, 31u);
  EXPECT_EQ(h->deleted, 0u);
  EXPECT_EQ(h->count, 10u);
  for (size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(hashtab_lookup(h, keys[i].c_str()) != nullptr, i % 10 == 0) << keys[i];
  }
  hashtab_free(h);
}

TEST(HashtabTest, RemovalOutsideIterationShrinksBelowLowMark) {
  struct Case {
    size_t inserted;
    size_t removed;
    uint32_t size;
  };
  const Case cases[] = {
      {22, 1, 31},    // 21 live, low mark 7
      {22, 15, 31},   // 7 live: not below the mark
      {22, 16, 31},   // 6 live: target 12, first prime above is 31
      {22, 22, 11},   // empty: target 0
      {100, 95, 11},  // 5 live: target 10
      {5, 5, 11},     // the smallest size never shrinks
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.inserted << " - " << c.removed);
    std::vector<std::string> keys = makeKeys(c.inserted);
    Hashtab* h = hashtab_create(nullptr, 0);
    for (std::string& key : keys) insertText(h, key);
    for (size_t i = 0; i < c.removed; ++i) {
      ASSERT_NE(hashtab_lookup(h, keys[i].c_str()), nullptr);
      hashtab_remove_current(h);
    }
    EXPECT_EQ(h->size, c.size);
    EXPECT_EQ(h->count - h->deleted, c.inserted - c.removed);
    for (size_t i = c.removed; i < keys.size(); ++i) EXPECT_NE(hashtab_lookup(h, keys[i].c_str()), nullptr);
    hashtab_free(h);
  }
}

TEST(HashtabTest, GrowthWithMarkersSizesForTwiceTheLiveCount) {
  std::vector<std::string> keys = makeKeys(30);
  Hashtab* h = hashtab_create(nullptr, 0);
  for (size_t i = 0; i < 7; ++i) insertText(h, keys[i]);
  // Two markers: the next insert that passes the high mark rebuilds for
  // 2 x (8 - 2) = 12, and the first prime above that is 31.
  hashtab_lookup(h, keys[0].c_str());
  hashtab_remove_current(h);
  hashtab_lookup(h, keys[1].c_str());
  hashtab_remove_current(h);
  ASSERT_EQ(h->size, 11u);
  insertText(h, keys[7]);
  EXPECT_EQ(h->size, 31u);
  EXPECT_EQ(h->count, 6u);
  EXPECT_EQ(h->deleted, 0u);
  hashtab_free(h);
}

TEST(HashtabTest, TableSizesAreTheFirstPrimeAboveTheTarget) {
  struct Case {
    uint32_t target;
    uint32_t size;
  };
  const Case cases[] = {{0, 11},         {10, 11},          {11, 31},
                        {2147483628u, 2147483629u}, {2147483629u, 4294967295u},
                        {4294967295u, 4294967295u}};
  for (const Case& c : cases) EXPECT_EQ(hashtab_size_above(c.target), c.size) << c.target;
}

TEST(HashtabDeathTest, MisuseFailsTheNamedAssertion) {
  EXPECT_DEATH(
      {
        Hashtab* h = hashtab_create(nullptr, 0);
        char text[] = "a";
        hashtab_insert(h, text);
      },
      "hashtab.c.*\\*h->curpos == NULL");
  EXPECT_DEATH(
      {
        Hashtab* h = hashtab_create(nullptr, 0);
        char text[] = "a";
        hashtab_lookup(h, text);
        hashtab_insert(h, text);
        hashtab_insert(h, text);
      },
      "\\*h->curpos == NULL");
  EXPECT_DEATH(
      {
        Hashtab* h = hashtab_create(nullptr, 0);
        hashtab_lookup(h, "a");
        hashtab_insert(h, nullptr);
      },
      "Assertion `data' failed");
  EXPECT_DEATH(
      {
        Hashtab* h = hashtab_create(nullptr, 0);
        hashtab_lookup(h, "a");
        hashtab_remove_current(h);
      },
      "\\*h->curpos != NULL");
}

}  // namespace
