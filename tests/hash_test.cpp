// The intrusive hash table: growth by load factor, whatever the hash gives,
// and a split that cannot allocate.
#include "tools/hash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <vector>

namespace vantrove {
namespace {

struct Item {
  std::uint32_t key;
  Item* next;
};

// Set to make the next bucket array allocation fail.
bool refuseAllocation = false;

// A two-bucket table of items whose hash is the key modulo the bucket count.
int create(HashTable* table, std::uint32_t maxChain) {
  return HashNew(
      table, 2, maxChain, offsetof(Item, next),
      [](const void* a, const void* b) {
        return static_cast<int>(static_cast<const Item*>(a)->key ==
                                static_cast<const Item*>(b)->key);
      },
      [](const void* item, std::uint32_t count) {
        return static_cast<const Item*>(item)->key % count;
      },
      [](std::size_t bytes) { return refuseAllocation ? nullptr : std::malloc(bytes); },
      [](void* pointer) { std::free(pointer); });
}

TEST(HashTest, BucketsFollowTheElementCountEvenWhenEveryKeyCollides) {
  // Keys that are multiples of 2^20 share one chain at every bucket count
  // that these insertions reach. A limit of 0 counts as 1.
  for (const std::uint32_t limit : {0u, 5u}) {
    HashTable table;
    ASSERT_EQ(create(&table, limit), 1);
    const std::uint32_t average = std::max(limit, 1u);
    std::vector<Item> items(1000);
    for (std::uint32_t i = 0; i < items.size(); ++i) {
      items[i].key = i << 20;
      ASSERT_EQ(HashInsert(&table, &items[i]), &items[i]);
      const std::uint32_t count = i + 1;
      const std::uint32_t buckets = HashGetNoBuckets(&table);
      // At most `average` elements per bucket, and no more buckets than that needs.
      ASSERT_LE(count, average * buckets) << limit << " " << count;
      ASSERT_LE(buckets * average, std::max(2 * average, 2 * count)) << limit << " " << count;
    }
    for (const Item& item : items) EXPECT_EQ(HashSearch(&table, &item), &item);
    Item twin{3u << 20, nullptr};
    EXPECT_EQ(HashInsert(&table, &twin), &items[3]);  // an equal element is found, not added
    Item absent{1, nullptr};
    EXPECT_EQ(HashSearch(&table, &absent), nullptr);
    HashFree(&table);
  }
}

TEST(HashTest, SplitThatCannotAllocateWaitsForTheNextInsertion) {
  HashTable table;
  ASSERT_EQ(create(&table, 5), 1);
  // Ten elements fill two buckets; the eleventh cannot split and still goes
  // in, the twelfth splits and every element is found in its new chain.
  std::vector<Item> items(12);
  for (std::uint32_t i = 0; i < items.size(); ++i) {
    items[i].key = i;
    refuseAllocation = i == 10;
    EXPECT_EQ(HashInsert(&table, &items[i]), &items[i]);
    EXPECT_EQ(HashGetNoBuckets(&table), i < 11 ? 2u : 4u) << i;
  }
  refuseAllocation = false;
  EXPECT_EQ(HashGetNoSplits(&table), 1u);
  for (const Item& each : items) EXPECT_EQ(HashSearch(&table, &each), &each);
  HashFree(&table);
}

}  // namespace
}  // namespace vantrove
