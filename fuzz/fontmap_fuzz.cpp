// Fuzz target: the font map parser and lookup over arbitrary map text. Each
// input is parsed twice into one map (a second stream adds to the first, as
// the parser allows), then a few fonts are looked up and every table entry of
// a font found is read, so that a malformed or half-built table shows up.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "fontmap/fontmap.h"

namespace {

// Family texts for lookups by family. The lookup cache keeps the family
// pointer, so these must outlive every query.
const char* const kFamilies[] = {"Times", "Courier", "", "'Times Roman'"};

// Keeps the reads of readTable from being optimised away.
volatile unsigned tableSum;

void readTable(const vantrove::AmFontEntry* entry) {
  if (entry == nullptr) return;
  unsigned sum = 0;
  for (int c = 0; c < 256; ++c) {
    const vantrove::AmFontEntry* output = entry->fontMap[c];
    sum += entry->codeMap[c] + output->size + output->style + output->gfid;
    if (output->family != nullptr) {
      for (const char* p = output->family; *p != '\0'; ++p) sum += static_cast<unsigned char>(*p);
    }
  }
  tableSum = sum;
}

void parse(std::vector<char>& text) {
  if (text.empty()) return;  // fmemopen refuses an empty buffer
  std::FILE* stream = fmemopen(text.data(), text.size(), "r");
  if (stream == nullptr) return;
  vantrove::AmFontOpen(stream);
  std::fclose(stream);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vantrove::AmReset();
  std::vector<char> text(data, data + size);
  parse(text);
  parse(text);
  for (std::uint32_t gfid : {1u, 2u, 3u, 5u, 26u, 0xFFFFFFFFu}) {
    readTable(vantrove::AmFontRead(nullptr, gfid, 0, 0));
  }
  for (const char* family : kFamilies) {
    // A lookup with both a family and a GFID leaves a family in the cache
    // that later family lookups, and copies resolved through them, may take.
    readTable(vantrove::AmFontRead(family, 1, 0, 0));
    for (std::uint8_t size : {0, 10, 12}) readTable(vantrove::AmFontRead(family, 0, size, 0));
  }
  vantrove::AmReset();
  return 0;
}
