// Intrusive chained hash table that doubles on its load factor.
#include "tools/hash.h"

#include <algorithm>
#include <cstdio>

namespace vantrove {

namespace {

constexpr std::uint32_t kLargestBucketCount = 0x80000000u;

// The chain link stored inside an element at the table's link offset.
void*& linkOf(const HashTable* table, void* element) {
  return *reinterpret_cast<void**>(static_cast<char*>(element) + table->linkOffset);
}

void** allocateHeads(const HashTable* table, std::uint32_t count) {
  void** heads = static_cast<void**>(table->allocate(sizeof(void*) * std::size_t{count}));
  if (heads != nullptr) {
    for (std::uint32_t i = 0; i < count; ++i) heads[i] = nullptr;
  }
  return heads;
}

// Whether one more element would make the average chain longer than the
// limit (a limit of 0 counts as 1). Only the element count decides, never the
// length of one chain: elements that all share a hash value make one long
// chain, and doubling would not shorten it.
bool crowded(const HashTable* table) {
  const std::uint64_t capacity =
      std::uint64_t{std::max(table->maxChain, 1u)} * std::uint64_t{table->noBuckets};
  return table->noElements >= capacity;
}

// Doubles the bucket count and relinks every element into its new chain. On
// allocation failure (or a table already at its largest) nothing changes.
void HashSplit(HashTable* table) {
  if (table->noBuckets >= kLargestBucketCount) return;
  const std::uint32_t newCount = table->noBuckets * 2;
  void** heads = allocateHeads(table, newCount);
  if (heads == nullptr) return;
  for (std::uint32_t i = 0; i < table->noBuckets; ++i) {
    void* element = table->buckets[i];
    while (element != nullptr) {
      void* successor = linkOf(table, element);
      const std::uint32_t index = table->hash(element, newCount);
      linkOf(table, element) = heads[index];
      heads[index] = element;
      element = successor;
    }
  }
  table->release(table->buckets);
  table->buckets = heads;
  table->noSplits += 1;
  table->noBuckets = newCount;
}

}  // namespace

int HashNew(HashTable* table, std::uint32_t initialSize, std::uint32_t maxChain,
            std::uint32_t linkOffset, HashCompareFn compare, HashFn hash, HashAllocFn allocate,
            HashReleaseFn release) {
  table->maxChain = maxChain;
  table->linkOffset = linkOffset;
  table->compare = compare;
  table->hash = hash;
  table->allocate = allocate;
  table->release = release;
  table->noSplits = 0;
  table->noElements = 0;

  std::uint32_t count = 2;
  while (count < initialSize && count < kLargestBucketCount) count *= 2;
  table->buckets = allocateHeads(table, count);
  if (table->buckets == nullptr) {
    table->noBuckets = 0;
    return 0;
  }
  table->noBuckets = count;
  return 1;
}

void* HashInsert(HashTable* table, void* element) {
  if (table->buckets == nullptr) return nullptr;
  std::uint32_t index = table->hash(element, table->noBuckets);
  for (void* chained = table->buckets[index]; chained != nullptr;
       chained = linkOf(table, chained)) {
    if (table->compare(chained, element) != 0) return chained;
  }
  if (crowded(table)) {
    HashSplit(table);
    index = table->hash(element, table->noBuckets);
  }
  linkOf(table, element) = table->buckets[index];
  table->buckets[index] = element;
  table->noElements += 1;
  return element;
}

void* HashSearch(const HashTable* table, const void* key) {
  if (table->buckets == nullptr) return nullptr;
  const std::uint32_t index = table->hash(key, table->noBuckets);
  for (void* chained = table->buckets[index]; chained != nullptr;
       chained = linkOf(table, chained)) {
    if (table->compare(chained, key) != 0) return chained;
  }
  return nullptr;
}

void HashFree(HashTable* table) {
  if (table->buckets != nullptr) table->release(table->buckets);
  table->buckets = nullptr;
  table->noBuckets = 0;
  table->noElements = 0;
}

void HashDump(const HashTable* table) {
  if (table->printString == nullptr || table->printElement == nullptr) return;
  table->printString("Hash Table Dumper\n");
  for (std::uint32_t i = 0; i < table->noBuckets; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "bucket %u:  ", i);
    table->printString(line);
    for (void* chained = table->buckets[i]; chained != nullptr; chained = linkOf(table, chained)) {
      table->printElement(chained);
    }
    table->printString("\n");
  }
  table->printString("\n");
}

void HashSetPrinters(HashTable* table, HashPrintStringFn printString,
                     HashPrintElementFn printElement) {
  table->printString = printString;
  table->printElement = printElement;
}

std::uint32_t HashGetNoSplits(const HashTable* table) {
  return table->noSplits;
}

std::uint32_t HashGetNoBuckets(const HashTable* table) {
  return table->noBuckets;
}

}  // namespace vantrove
