// The intrusive hash table: sizing, insertion and search, splitting, dumping
// and allocation failures.
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

int allocationsLeft;  // allocations that succeed
std::string dumped;

// A table of items with a chain limit of 5, hashed by key modulo the bucket
// count, or all into bucket 0.
int create(HashTable* table, std::uint32_t size, bool oneBucket, int allocations = 1000) {
  allocationsLeft = allocations;
  dumped.clear();
  HashSetPrinters(  // HashNew keeps them
      table, [](const char* text) { dumped += text; },
      [](const void* item) {
        dumped += '[' + std::to_string(static_cast<const Item*>(item)->key) + ']';
      });
  const HashFn byKey = [](const void* item, std::uint32_t buckets) {
    return static_cast<std::uint32_t>(static_cast<const Item*>(item)->key) % buckets;
  };
  const HashFn first = [](const void*, std::uint32_t) { return 0u; };
  return HashNew(
      table, size, 5, offsetof(Item, next),
      [](const void* a, const void* b) {
        return static_cast<int>(static_cast<const Item*>(a)->key ==
                                static_cast<const Item*>(b)->key);
      },
      oneBucket ? first : byKey,
      [](std::size_t bytes) { return allocationsLeft-- > 0 ? std::malloc(bytes) : nullptr; },
      [](void* pointer) { std::free(pointer); });
}

TEST(HashTest, BucketCountIsThePowerOfTwoAtOrAboveTheRequestAndAtLeastTwo) {
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {{0, 2}, {1, 2},  {2, 2},
                                                           {3, 4}, {9, 16}, {16, 16}};
  for (const auto& [request, expected] : cases) {
    HashTable table;
    ASSERT_EQ(create(&table, request, false), 1);
    EXPECT_EQ(HashGetNoBuckets(&table), expected) << request;
    HashFree(&table);
  }
}

// Items keyed 1 to `count`, inserted in that order into a one-bucket table.
std::vector<Item> insertInOneChain(HashTable* table, int count) {
  std::vector<Item> items(count);
  for (int i = 0; i < count; ++i) items[i].key = i + 1;
  for (Item& item : items) EXPECT_EQ(HashInsert(table, &item), &item);
  for (const Item& item : items) EXPECT_EQ(HashSearch(table, &item), &item);
  return items;
}

TEST(HashTest, SixthElementOfAFullChainDoublesTheTable) {
  HashTable table;
  ASSERT_EQ(create(&table, 2, true), 1);
  std::vector<Item> items = insertInOneChain(&table, 5);
  EXPECT_EQ(HashGetNoBuckets(&table), 2u);
  Item sixth{6, nullptr};
  EXPECT_EQ(HashInsert(&table, &sixth), &sixth);
  EXPECT_EQ(HashGetNoBuckets(&table), 4u);
  EXPECT_EQ(HashGetNoSplits(&table), 1u);
  for (const Item& item : items) EXPECT_EQ(HashSearch(&table, &item), &item);
  // The split walks the old chain (newest first) pushing each element in
  // front of its new chain, which reverses it; the new element goes in front.
  HashDump(&table);
  EXPECT_EQ(dumped,
            "Hash Table Dumper\nbucket 0:  [6][1][2][3][4][5]\nbucket 1:  \nbucket 2:  \n"
            "bucket 3:  \n\n");
  HashFree(&table);
}

TEST(HashTest, AllocationFailures) {
  HashTable broken;
  EXPECT_EQ(create(&broken, 4, false, 0), 0);
  Item item{1, nullptr};
  EXPECT_EQ(HashInsert(&broken, &item), nullptr);
  // A split that cannot allocate leaves the table as it was; the element
  // still goes in and the chain grows past the limit.
  HashTable table;
  ASSERT_EQ(create(&table, 2, true, 1), 1);
  insertInOneChain(&table, 7);
  EXPECT_EQ(HashGetNoBuckets(&table), 2u);
  HashFree(&table);
}

}  // namespace
}  // namespace vantrove
