// The intrusive hash table: sizing, insertion and search, the split that
// doubles the table when a chain is full, and running out of memory.
#include "tools/hash.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

namespace vantrove {
namespace {

struct Item {
  int key;
  Item* next;
};

std::string dumped;
// Set to make the next bucket array allocation fail.
bool refuseAllocation = false;

// A table of items with a chain limit of 5 whose hash is the key modulo the
// bucket count (even keys share bucket 0 of a two-bucket table).
int create(HashTable* table, std::uint32_t size) {
  dumped.clear();
  HashSetPrinters(  // HashNew keeps them
      table, [](const char* text) { dumped += text; },
      [](const void* item) {
        dumped += '[' + std::to_string(static_cast<const Item*>(item)->key) + ']';
      });
  return HashNew(
      table, size, 5, offsetof(Item, next),
      [](const void* a, const void* b) {
        return static_cast<int>(static_cast<const Item*>(a)->key ==
                                static_cast<const Item*>(b)->key);
      },
      [](const void* item, std::uint32_t count) {
        return static_cast<std::uint32_t>(static_cast<const Item*>(item)->key) % count;
      },
      [](std::size_t bytes) { return refuseAllocation ? nullptr : std::malloc(bytes); },
      [](void* pointer) { std::free(pointer); });
}

TEST(HashTest, SixthElementOfAFullChainDoublesTheTable) {
  HashTable table;
  ASSERT_EQ(create(&table, 2), 1);
  std::vector<Item> items(6);
  for (int i = 0; i < 6; ++i) {
    items[i].key = 2 * i;
    ASSERT_EQ(HashInsert(&table, &items[i]), &items[i]);
    EXPECT_EQ(HashGetNoBuckets(&table), i < 5 ? 2u : 4u);
  }
  EXPECT_EQ(HashGetNoSplits(&table), 1u);
  for (const Item& item : items) EXPECT_EQ(HashSearch(&table, &item), &item);
  Item twin{4, nullptr};
  EXPECT_EQ(HashInsert(&table, &twin), &items[2]);  // an equal element is found, not added
  Item absent{1, nullptr};
  EXPECT_EQ(HashSearch(&table, &absent), nullptr);
  // Before the split bucket 0 held 8 6 4 2 0. The split walks it from the
  // head pushing each element in front of its chain for four buckets, which
  // reverses both halves; 10 then goes in front of bucket 2.
  HashDump(&table);
  EXPECT_EQ(dumped,
            "Hash Table Dumper\nbucket 0:  [0][4][8]\nbucket 1:  \nbucket 2:  [10][2][6]\n"
            "bucket 3:  \n\n");
  HashFree(&table);
}

TEST(HashTest, SplitThatCannotAllocateWaitsForTheNextInsertion) {
  Item item{1, nullptr};
  HashTable table;
  // A split that cannot allocate leaves the table as it is and the chain
  // grows past its limit; the insertion still succeeds.
  ASSERT_EQ(create(&table, 2), 1);
  EXPECT_EQ(HashSearch(&table, &item), nullptr);
  std::vector<Item> items(7);
  for (int i = 0; i < 7; ++i) {
    items[i].key = 4 * i;  // all in bucket 0 of two and of four buckets
    refuseAllocation = i == 5;
    EXPECT_EQ(HashInsert(&table, &items[i]), &items[i]);
  }
  refuseAllocation = false;
  // The seventh insertion found a chain of six and split after all.
  EXPECT_EQ(HashGetNoBuckets(&table), 4u);
  EXPECT_EQ(HashGetNoSplits(&table), 1u);
  for (const Item& each : items) EXPECT_EQ(HashSearch(&table, &each), &each);
  HashFree(&table);
}

}  // namespace
}  // namespace vantrove
