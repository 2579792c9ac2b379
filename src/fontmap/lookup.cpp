// The lookup of the font map: the source font entry of a font, with the
// character tables of copied fonts built on their first lookup, and the
// printing aids that show entries and the whole map.
#include <cstdio>
#include <cstring>
#include <new>
#include <unordered_set>
#include <utility>
#include <vector>

#include "fontmap/fontmap.h"
#include "fontmap/fontmap_internal.h"
#include "tools/hash.h"

namespace vantrove {

using namespace fontmap;

namespace {

// Lookup cache and the lookup's own spare entry.
AmFontEntry* lastResult = nullptr;
const char* lastFamily = nullptr;
std::uint32_t lastGfid = 0;
std::uint8_t lastSize = 0;
std::uint8_t lastStyle = 0;
AmFontEntry* lookupSpare = nullptr;

// ---------------------------------------------------------------------------
// Copied fonts.

// Builds the table of `entry` from `copied`, the table font that the lookup of
// the font it copies returned, applying its rules. Every rule is tested
// against the copied font's own values, and the table is installed only once
// complete. The rules make the same output font of the same copied output
// font, so each is looked up once in a run of code points that share it.
bool buildCopiedTable(AmFontEntry* entry, const AmFontEntry* copied) {
  if (lookupSpare == nullptr && (lookupSpare = newEntry()) == nullptr) return false;

  CharTable table;
  if (!table.allocate()) return false;

  const AmFontEntry* lastOutput = nullptr;
  AmFontEntry* lastFont = nullptr;
  for (int c = 0; c < kCodePoints; ++c) {
    const std::uint8_t copiedCode = copied->codeMap[c];
    const AmFontEntry* output = copied->fontMap[c];
    std::uint8_t code = copiedCode;
    for (const AmRule* rule = entry->rules; rule != nullptr; rule = rule->next) {
      if (rule->pre.code == copiedCode) code = rule->post.code;
    }
    table.codes[c] = code;
    if (output != lastOutput) {
      char* family = output->family;
      std::uint8_t size = output->size;
      std::uint8_t style = output->style;
      for (const AmRule* rule = entry->rules; rule != nullptr; rule = rule->next) {
        // A rule without a substitute family leaves the family alone: an
        // output font without a family could not be keyed.
        if (rule->pre.family != nullptr && rule->post.family != nullptr &&
            std::strcmp(rule->pre.family, textOf(output->family)) == 0) {
          family = rule->post.family;
        }
        if (rule->pre.size == output->size) size = rule->post.size;
        if (rule->pre.style == output->style) style = rule->post.style;
      }
      lookupSpare->family = family;
      lookupSpare->gfid = output->gfid;
      lookupSpare->style = style;
      lookupSpare->size = size;
      auto* font = static_cast<AmFontEntry*>(HashInsert(&fontTable(), lookupSpare));
      if (font == nullptr) return false;
      if (font == lookupSpare && (lookupSpare = newEntry()) == nullptr) return false;
      lastOutput = output;
      lastFont = font;
    }
    table.fonts[c] = lastFont;
  }
  table.giveTo(entry);
  return true;
}

// The arguments of one lookup.
struct LookupKey {
  const char* family;
  std::uint32_t gfid;
  std::uint8_t size;
  std::uint8_t style;
};

LookupKey keyOf(const AmFontEntry* font) {
  return {font->family, font->gfid, font->size, font->style};
}

// Whether the last result answers a lookup of `key`: by GFID, size and style,
// or, for a family without a GFID, by the family text, size and style.
bool cacheAnswers(const LookupKey& key) {
  if (lastResult == nullptr || key.size != lastSize || key.style != lastStyle) return false;
  if (key.family == nullptr || key.gfid != 0) return key.gfid == lastGfid;
  return lastFamily != nullptr && std::strcmp(lastFamily, key.family) == 0;
}

void remember(const LookupKey& key, AmFontEntry* entry) {
  lastResult = entry;
  lastFamily = key.family;
  lastGfid = key.gfid;
  lastSize = key.size;
  lastStyle = key.style;
}

// A lookup of a copied font without a table looks up the font it copies (which
// may be a copy in turn, and may be answered by the cache) and builds its table
// from that result. The chain of lookups is walked down to the first one that
// is answered, then the tables are built on the way back up, each level
// remembering its result as a lookup of its own would. Null for a font that is
// not a source font, a chain that ends in one, a cycle of copies or an
// allocation failure; a failed level leaves the cache as the levels below it
// left it.
AmFontEntry* lookUp(LookupKey key) {
  std::vector<std::pair<LookupKey, AmFontEntry*>> pending;
  std::unordered_set<const AmFontEntry*> seen;
  AmFontEntry* found = nullptr;
  for (;;) {
    if (cacheAnswers(key)) {
      found = lastResult;
      break;
    }
    AmFontEntry probe{};
    probe.family = const_cast<char*>(key.family);
    probe.gfid = key.gfid;
    probe.style = key.style;
    probe.size = key.size;
    auto* entry = static_cast<AmFontEntry*>(HashSearch(&fontTable(), &probe));
    if (entry == nullptr) return nullptr;
    if (hasTable(entry)) {
      remember(key, entry);
      found = entry;
      break;
    }
    if (entry->copyOf == nullptr || !seen.insert(entry).second) return nullptr;
    pending.emplace_back(key, entry);
    key = keyOf(entry->copyOf);
  }
  for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
    if (!buildCopiedTable(it->second, found)) return nullptr;
    remember(it->first, it->second);
    found = it->second;
  }
  return found;
}

// Writes a font identity in statement form: family, GFID, size, then the
// style words ("FPlain" alone for a plain style).
void printFont(const char* family, std::uint32_t gfid, std::uint8_t size, std::uint8_t style) {
  std::fprintf(stderr, "<FFamily %s> <GFID %d> <FSize %d>", textOf(family), static_cast<int>(gfid),
               size);
  if (style == 0) {
    std::fputs(" <FPlain yes>", stderr);
    return;
  }
  if (style & kStyleBold) std::fputs(" <FBold yes>", stderr);
  if (style & kStyleItalic) std::fputs(" <FItalic yes>", stderr);
  if (style & kStyleUnderline) std::fputs(" <FUnderline yes>", stderr);
  if (style & kStyleStrike) std::fputs(" <FStrike yes>", stderr);
}

}  // namespace

void fontmap::lookupReset() {
  lastResult = nullptr;
  lastFamily = nullptr;
  lastGfid = 0;
  lastSize = 0;
  lastStyle = 0;
  lookupSpare = nullptr;
}

// When memory runs out the answer is null, as for a font the map lacks. (The
// program's new-handler ends the run before that: only a map used without it
// sees the null.)
AmFontEntry* AmFontRead(const char* family, std::uint32_t gfid, std::uint8_t size,
                        std::uint8_t style) {
  try {
    return lookUp({family, gfid, size, style});
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void AmFontPrint(const AmFontEntry* entry) {
  if (entry == nullptr) return;
  std::fputs("<Font ", stderr);
  printFont(entry->family, entry->gfid, entry->size, entry->style);
  std::fputs("\n", stderr);
  if (hasTable(entry)) {
    for (int c = 0; c < kCodePoints; ++c) {
      const AmFontEntry* font = entry->fontMap[c];
      std::fprintf(stderr, "\t<SrcChar <Code %x>> <CorlaChar <Code %x> ", c, entry->codeMap[c]);
      printFont(font->family, font->gfid, font->size, font->style);
      std::fputs(">\n", stderr);
    }
  }
  if (entry->rules != nullptr) {
    std::fputs("\t<Rules\n", stderr);
    if (const AmFontEntry* copied = entry->copyOf) {
      std::fputs("\t\t<UseFont ", stderr);
      printFont(copied->family, copied->gfid, copied->size, copied->style);
      std::fputs(">\n", stderr);
    }
    for (const AmRule* rule = entry->rules; rule != nullptr; rule = rule->next) {
      std::fputs("\t\t<Pre ", stderr);
      printFont(rule->pre.family, rule->pre.gfid, rule->pre.size, rule->pre.style);
      std::fputs(">\n", stderr);
      std::fputs("\t\t<Post ", stderr);
      printFont(rule->post.family, rule->post.gfid, rule->post.size, rule->post.style);
      std::fputs(">\n", stderr);
    }
    std::fputs("\t>\n", stderr);
  }
  std::fputs(">\n", stderr);
}

void AmDump() {
  HashDump(&fontTable());
}

void AmPrintText(const char* text) {
  std::printf("%s", text);
  std::fflush(stdout);
}

void AmPrintEntry(const void* element) {
  const auto* entry = static_cast<const AmFontEntry*>(element);
  std::printf("%s %d %d %d\n", textOf(entry->family), static_cast<int>(entry->gfid), entry->size,
              entry->style);
  std::fflush(stdout);
}

}  // namespace vantrove
