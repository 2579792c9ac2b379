// The intrusive hash table: insertion and search, and the split that doubles
// the table when a chain is full.
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

// A table of items with a chain limit of 5 whose hash sends everything to
// bucket 0.
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
      [](const void*, std::uint32_t) { return 0u; },
      [](std::size_t bytes) { return std::malloc(bytes); },
      [](void* pointer) { std::free(pointer); });
}

TEST(HashTest, SixthElementOfAFullChainDoublesTheTable) {
  HashTable table;
  ASSERT_EQ(create(&table, 2), 1);
  std::vector<Item> items(6);
  for (int i = 0; i < 6; ++i) {
    items[i].key = i + 1;
    ASSERT_EQ(HashInsert(&table, &items[i]), &items[i]);
    EXPECT_EQ(HashGetNoBuckets(&table), i < 5 ? 2u : 4u);
  }
  EXPECT_EQ(HashGetNoSplits(&table), 1u);
  for (const Item& item : items) EXPECT_EQ(HashSearch(&table, &item), &item);
  Item twin{3, nullptr};
  EXPECT_EQ(HashInsert(&table, &twin), &items[2]);  // an equal element is found, not added
  // The split walks the old chain (newest first) pushing each element in
  // front of its new chain, which reverses it; the new element goes in front.
  HashDump(&table);
  EXPECT_EQ(dumped,
            "Hash Table Dumper\nbucket 0:  [6][1][2][3][4][5]\nbucket 1:  \nbucket 2:  \n"
            "bucket 3:  \n\n");
  HashFree(&table);
}

}  // namespace
}  // namespace vantrove
