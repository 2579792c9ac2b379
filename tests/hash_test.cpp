// The intrusive hash table: sizing, insertion and search, splitting, dumping
// and allocation failures.
#include "tools/hash.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace vantrove {
namespace {

struct Item {
  int key;
  Item* next;
};

int sameKey(const void* element, const void* key) {
  return static_cast<const Item*>(element)->key == static_cast<const Item*>(key)->key;
}

std::uint32_t keyModulo(const void* item, std::uint32_t buckets) {
  return static_cast<std::uint32_t>(static_cast<const Item*>(item)->key) % buckets;
}

std::uint32_t firstBucket(const void*, std::uint32_t) {
  return 0;
}

void* plainAllocate(std::size_t size) {
  return std::malloc(size);
}
void plainRelease(void* pointer) {
  std::free(pointer);
}
void* failAllocate(std::size_t) {
  return nullptr;
}

// Allocates only while `allocationsLeft` is positive.
int allocationsLeft = 0;
void* limitedAllocate(std::size_t size) {
  if (allocationsLeft <= 0) return nullptr;
  --allocationsLeft;
  return std::malloc(size);
}

std::string dumped;
void appendText(const char* text) {
  dumped += text;
}
void appendItem(const void* item) {
  dumped += '[' + std::to_string(static_cast<const Item*>(item)->key) + ']';
}

constexpr auto kLink = static_cast<std::uint32_t>(offsetof(Item, next));

class HashTest : public ::testing::Test {
 protected:
  void TearDown() override { HashFree(&table); }

  void create(std::uint32_t size, HashFn hash = keyModulo, HashAllocFn allocate = plainAllocate) {
    ASSERT_EQ(HashNew(&table, size, 5, kLink, sameKey, hash, allocate, plainRelease), 1);
  }

  HashTable table;
};

TEST_F(HashTest, InitialSizeIsThePowerOfTwoAtOrAboveTheRequestAndAtLeastTwo) {
  const std::pair<std::uint32_t, std::uint32_t> cases[] = {{0, 2}, {1, 2},  {2, 2},
                                                           {3, 4}, {9, 16}, {16, 16}};
  for (const auto& [request, expected] : cases) {
    HashTable sized;
    ASSERT_EQ(HashNew(&sized, request, 5, kLink, sameKey, keyModulo, plainAllocate, plainRelease),
              1);
    EXPECT_EQ(HashGetNoBuckets(&sized), expected) << "request " << request;
    EXPECT_EQ(HashGetNoSplits(&sized), 0u);
    HashFree(&sized);
  }
}

TEST_F(HashTest, InsertFindsAnEqualElementInsteadOfAddingIt) {
  create(2);
  Item first{7, nullptr};
  Item twin{7, nullptr};
  Item other{8, nullptr};
  EXPECT_EQ(HashSearch(&table, &first), nullptr);
  EXPECT_EQ(HashInsert(&table, &first), &first);
  EXPECT_EQ(HashInsert(&table, &twin), &first);
  EXPECT_EQ(HashInsert(&table, &other), &other);
  EXPECT_EQ(HashSearch(&table, &twin), &first);
  EXPECT_EQ(HashSearch(&table, &other), &other);
  Item missing{9, nullptr};
  EXPECT_EQ(HashSearch(&table, &missing), nullptr);
}

TEST_F(HashTest, SixthElementOfAFullChainDoublesTheTableAndKeepsEveryElement) {
  create(2, firstBucket);
  std::vector<Item> items(6);
  for (int i = 0; i < 5; ++i) {
    items[i].key = i + 1;
    ASSERT_EQ(HashInsert(&table, &items[i]), &items[i]);
  }
  EXPECT_EQ(HashGetNoBuckets(&table), 2u);
  EXPECT_EQ(HashGetNoSplits(&table), 0u);
  items[5].key = 6;
  ASSERT_EQ(HashInsert(&table, &items[5]), &items[5]);
  EXPECT_EQ(HashGetNoBuckets(&table), 4u);
  EXPECT_EQ(HashGetNoSplits(&table), 1u);
  for (const Item& item : items) EXPECT_EQ(HashSearch(&table, &item), &item);

  // The split walks the old chain (newest first) and pushes each element in
  // front of its new chain, which reverses it; the new element goes in front.
  dumped.clear();
  HashSetPrinters(&table, appendText, appendItem);
  HashDump(&table);
  EXPECT_EQ(dumped,
            "Hash Table Dumper\nbucket 0:  [6][1][2][3][4][5]\nbucket 1:  \nbucket 2:  \n"
            "bucket 3:  \n\n");
}

TEST_F(HashTest, ManyElementsStayReachableThroughRepeatedSplits) {
  create(2);
  std::vector<Item> items(1000);
  for (int i = 0; i < 1000; ++i) {
    items[i].key = i * 7;
    ASSERT_EQ(HashInsert(&table, &items[i]), &items[i]);
  }
  const std::uint32_t buckets = HashGetNoBuckets(&table);
  EXPECT_EQ(buckets & (buckets - 1), 0u);
  EXPECT_GT(HashGetNoSplits(&table), 0u);
  for (const Item& item : items) EXPECT_EQ(HashSearch(&table, &item), &item);
}

TEST_F(HashTest, FailedSplitStillInsertsIntoTheUnchangedTable) {
  allocationsLeft = 1;  // the bucket array only
  create(2, firstBucket, limitedAllocate);
  std::vector<Item> items(7);
  for (int i = 0; i < 7; ++i) {
    items[i].key = i;
    ASSERT_EQ(HashInsert(&table, &items[i]), &items[i]);
  }
  EXPECT_EQ(HashGetNoBuckets(&table), 2u);
  EXPECT_EQ(HashGetNoSplits(&table), 0u);
  for (const Item& item : items) EXPECT_EQ(HashSearch(&table, &item), &item);
}

TEST_F(HashTest, TableWithoutBucketsRefusesEverything) {
  HashTable broken;
  EXPECT_EQ(HashNew(&broken, 4, 5, kLink, sameKey, keyModulo, failAllocate, plainRelease), 0);
  EXPECT_EQ(HashGetNoBuckets(&broken), 0u);
  Item item{1, nullptr};
  EXPECT_EQ(HashInsert(&broken, &item), nullptr);
  EXPECT_EQ(HashSearch(&broken, &item), nullptr);
  HashFree(&broken);
  EXPECT_EQ(broken.buckets, nullptr);
}

TEST_F(HashTest, FreeReleasesOnlyTheBucketArray) {
  create(2);
  Item item{3, nullptr};
  HashInsert(&table, &item);
  HashFree(&table);
  EXPECT_EQ(table.buckets, nullptr);
  EXPECT_EQ(HashGetNoBuckets(&table), 0u);
  EXPECT_EQ(item.key, 3);
  EXPECT_EQ(HashSearch(&table, &item), nullptr);
}

TEST_F(HashTest, DumpOfAnEmptyTableListsEachBucket) {
  HashSetPrinters(&table, appendText, appendItem);  // before HashNew, which keeps them
  create(2);
  dumped.clear();
  HashDump(&table);
  EXPECT_EQ(dumped, "Hash Table Dumper\nbucket 0:  \nbucket 1:  \n\n");
}

}  // namespace
}  // namespace vantrove
