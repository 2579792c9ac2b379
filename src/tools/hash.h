// Intrusive chained hash table. Elements are caller-owned records that carry
// their own chain link at `linkOffset`; the table allocates only its array of
// bucket heads. `maxChain` is the longest average chain the table allows: an
// insertion that would take the element count beyond `maxChain` times the
// bucket count first doubles the buckets, so the bucket array never grows
// past its initial size or twice the number of elements, however the hash
// distributes them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantrove {

using HashCompareFn = int (*)(const void* element, const void* key);
using HashFn = std::uint32_t (*)(const void* elementOrKey, std::uint32_t bucketCount);
using HashAllocFn = void* (*)(std::size_t size);
using HashReleaseFn = void (*)(void* pointer);
using HashPrintElementFn = void (*)(const void* element);
using HashPrintStringFn = void (*)(const char* text);

struct HashTable {
  void** buckets = nullptr;
  std::uint32_t noBuckets = 0;
  std::uint32_t noElements = 0;
  std::uint32_t maxChain = 0;
  std::uint32_t noSplits = 0;
  std::uint32_t linkOffset = 0;
  HashCompareFn compare = nullptr;
  HashFn hash = nullptr;
  HashAllocFn allocate = nullptr;
  HashReleaseFn release = nullptr;
  HashPrintElementFn printElement = nullptr;
  HashPrintStringFn printString = nullptr;
};

// 1 on success, 0 when the bucket array could not be allocated.
int HashNew(HashTable* table, std::uint32_t initialSize, std::uint32_t maxChain,
            std::uint32_t linkOffset, HashCompareFn compare, HashFn hash, HashAllocFn allocate,
            HashReleaseFn release);
// The equal element already present, else `element` itself once inserted;
// null when the table has no bucket array.
void* HashInsert(HashTable* table, void* element);
void* HashSearch(const HashTable* table, const void* key);
void HashFree(HashTable* table);
void HashDump(const HashTable* table);
void HashSetPrinters(HashTable* table, HashPrintStringFn printString,
                     HashPrintElementFn printElement);
std::uint32_t HashGetNoSplits(const HashTable* table);
std::uint32_t HashGetNoBuckets(const HashTable* table);

}  // namespace vantrove
