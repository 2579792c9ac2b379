// Small string helpers shared by the driver and the font map parser.
#pragma once

#include <cstddef>

namespace vantrove {

// A new array (new[], released with delete[]) holding a copy of `text`, or
// null when it cannot be allocated.
char* StringCopy(const char* text);
// The same for the `length` characters at `text`, which need no terminator.
char* StringCopy(const char* text, std::size_t length);
// Index of the first element equal to `key`, or -1.
int StringVectorSearch(const char* const* vector, int count, const char* key);
// 1 when every element is strictly less than the next (strcmp), else 0.
int StringVectorGetIsSorted(const char* const* vector, int count);
// Deletes in place every character of `text` that occurs in `set`.
void StringStrip(char* text, const char* set);

}  // namespace vantrove
