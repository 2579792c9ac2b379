// String duplicate, keyword search and in-place character removal.
#include "tools/string.h"

#include <cstring>
#include <new>

namespace vantrove {

char* StringCopy(const char* text) {
  return StringCopy(text, std::strlen(text));
}

char* StringCopy(const char* text, std::size_t length) {
  char* copy = new (std::nothrow) char[length + 1];
  if (copy != nullptr) {
    std::memcpy(copy, text, length);
    copy[length] = '\0';
  }
  return copy;
}

int StringVectorSearch(const char* const* vector, int count, const char* key) {
  for (int i = 0; i < count; ++i) {
    if (std::strcmp(vector[i], key) == 0) return i;
  }
  return -1;
}

int StringVectorGetIsSorted(const char* const* vector, int count) {
  for (int i = 0; i + 1 < count; ++i) {
    if (std::strcmp(vector[i], vector[i + 1]) >= 0) return 0;
  }
  return 1;
}

void StringStrip(char* text, const char* set) {
  char* out = text;
  for (const char* in = text; *in != '\0'; ++in) {
    if (std::strchr(set, *in) == nullptr) *out++ = *in;
  }
  *out = '\0';
}

}  // namespace vantrove
