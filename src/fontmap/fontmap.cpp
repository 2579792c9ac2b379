// The font map: the "dca.am" parser, the map of font entries keyed by font
// identity, and the lookup that builds the character tables of copied fonts on
// first use.
#include "fontmap/fontmap.h"

#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "tools/hash.h"
#include "tools/string.h"

namespace vantrove {

namespace {

constexpr int kCodePoints = 256;

// Style bits of an output font.
constexpr std::uint8_t kStyleBold = 1;
constexpr std::uint8_t kStyleItalic = 2;
constexpr std::uint8_t kStyleUnderline = 4;
constexpr std::uint8_t kStyleStrike = 8;

using Handler = int (*)(std::FILE* stream);

// ---------------------------------------------------------------------------
// Module state. Entries, rules and texts live until AmReset; the registries
// below exist only so that AmReset can release them.

HashTable AmFontMap;
bool amInitialized = false;

AmFontSpec AmSrcSpec;
AmFontSpec AmCorlaSpec;
AmFontSpec AmCopySpec;
AmFontSpec* AmCurrentSpec = nullptr;
AmRule* AmPendingRules = nullptr;
AmFontEntry* AmSpareEntry = nullptr;
int AmLine = 1;
std::string AmToken;
std::string AmError;

std::vector<AmFontEntry*> allEntries;  // every entry allocated, spares included
std::vector<AmRule*> allRules;         // every rule allocated
std::vector<char*> entryTexts;         // family texts handed over to entries

// Lookup cache and the lookup's own spare entry.
AmFontEntry* lastResult = nullptr;
const char* lastFamily = nullptr;
std::uint32_t lastGfid = 0;
std::uint8_t lastSize = 0;
std::uint8_t lastStyle = 0;
AmFontEntry* lookupSpare = nullptr;

// ---------------------------------------------------------------------------
// Allocation. Entries and rules are zeroed C records, as the map links them
// through raw pointers; a null result is reported by the caller.

AmFontEntry* newEntry() {
  auto* entry = static_cast<AmFontEntry*>(std::calloc(1, sizeof(AmFontEntry)));
  if (entry != nullptr) allEntries.push_back(entry);
  return entry;
}

AmRule* newRule() {
  auto* rule = static_cast<AmRule*>(std::calloc(1, sizeof(AmRule)));
  if (rule != nullptr) allRules.push_back(rule);
  return rule;
}

const char* textOf(const char* family) {
  return family != nullptr ? family : "";
}

bool hasTable(const AmFontEntry* entry) {
  return entry->codeMap != nullptr && entry->fontMap != nullptr;
}

// ---------------------------------------------------------------------------
// Hash and equality of font identities: by GFID when there is one, else by
// family name; size and style always count. The hash is FNV-1a over the
// identifying bytes with a final avalanche, so names made of the same letters
// or numbered in sequence spread over the buckets, and the low bits that pick
// a bucket depend on every byte.

constexpr std::uint32_t kFnvOffset = 2166136261u;
constexpr std::uint32_t kFnvPrime = 16777619u;

std::uint32_t fnvByte(std::uint32_t hash, std::uint8_t byte) {
  return (hash ^ byte) * kFnvPrime;
}

std::uint32_t AmHash(const void* elementOrKey, std::uint32_t bucketCount) {
  const auto* key = static_cast<const AmFontEntry*>(elementOrKey);
  std::uint32_t hash = kFnvOffset;
  if (key->gfid != 0) {
    for (int shift = 0; shift < 32; shift += 8) {
      hash = fnvByte(hash, static_cast<std::uint8_t>(key->gfid >> shift));
    }
  } else {
    for (const char* p = textOf(key->family); *p != '\0'; ++p) {
      hash = fnvByte(hash, static_cast<std::uint8_t>(*p));
    }
  }
  hash = fnvByte(fnvByte(hash, key->size), key->style);
  hash ^= hash >> 16;
  hash *= 0x85ebca6bu;
  hash ^= hash >> 13;
  hash *= 0xc2b2ae35u;
  hash ^= hash >> 16;
  return hash % bucketCount;
}

int AmCompare(const void* element, const void* key) {
  const auto* a = static_cast<const AmFontEntry*>(element);
  const auto* b = static_cast<const AmFontEntry*>(key);
  if (a->size != b->size || a->style != b->style) return 0;
  if (a->gfid != 0 || b->gfid != 0) return a->gfid == b->gfid ? 1 : 0;
  return std::strcmp(textOf(a->family), textOf(b->family)) == 0 ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Errors.

int fail(const char* format) {
  char text[64];
  std::snprintf(text, sizeof text, format, AmLine);
  AmError = text;
  return 1;
}

int failMemory() {
  return fail("Memory is full at line %d.");
}

int failKeyword(const char* const* names, int count) {
  char head[48];
  std::snprintf(head, sizeof head, "On line %d expected", AmLine);
  AmError = head;
  for (int i = 0; i < count; ++i) {
    AmError += ' ';
    AmError += names[i];
    AmError += i + 1 < count ? ',' : '.';
  }
  return 1;
}

// ---------------------------------------------------------------------------
// Lexical routines. White space is blank, tab and newline only.

bool isSpace(int c) {
  return c == ' ' || c == '\t' || c == '\n';
}

bool atEnd(std::FILE* stream) {
  return std::feof(stream) != 0 || std::ferror(stream) != 0;
}

void skipSpace(std::FILE* stream) {
  int c;
  while ((c = std::getc(stream)) != EOF) {
    if (!isSpace(c)) {
      std::ungetc(c, stream);
      return;
    }
    if (c == '\n' && AmLine < INT_MAX) ++AmLine;
  }
}

// Reads one token into AmToken. Outside apostrophes it ends at white space
// (consumed) or ">" (left in the stream). An apostrophe not escaped by a
// backslash toggles the quoted state; "\\" escapes nothing after it.
void getToken(std::FILE* stream) {
  skipSpace(stream);
  AmToken.clear();
  bool quoted = false;
  int previous = 0;  // effective previous character; 0 is neutral
  int c;
  while ((c = std::getc(stream)) != EOF) {
    if (!quoted) {
      if (c == '>') {
        std::ungetc(c, stream);
        return;
      }
      if (isSpace(c)) return;
    }
    if (c == '\'' && previous != '\\') quoted = !quoted;
    AmToken += static_cast<char>(c);
    previous = (c == '\\' && previous == '\\') ? 0 : c;
  }
}

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// Digits of `base` from `first` to the end of the token, in 32-bit wrapping
// arithmetic; a token that is not a number of that base is taken as 0.
std::uint32_t digitsOf(const std::string& token, std::size_t first, std::uint32_t base) {
  if (first >= token.size()) return 0;
  std::uint32_t value = 0;
  for (std::size_t i = first; i < token.size(); ++i) {
    const int digit = digitValue(token[i]);
    if (digit >= static_cast<int>(base)) return 0;
    value = value * base + static_cast<std::uint32_t>(digit);
  }
  return value;
}

// The value of a number token: a character literal 'c' (with \n and \t), a
// signed decimal, "0x" hexadecimal, or octal after a leading "0".
std::uint32_t tokenValue(const std::string& token) {
  if (token.empty()) return 0;
  if (token[0] == '\'') {
    char c = token.size() > 1 ? token[1] : '\0';
    if (c == '\\') {
      c = token.size() > 2 ? token[2] : '\0';
      if (c == 'n') c = '\n';
      if (c == 't') c = '\t';
    }
    return static_cast<std::uint32_t>(static_cast<int>(static_cast<signed char>(c)));
  }
  if (token[0] != '0') {
    const bool negative = token[0] == '-';
    const std::size_t first = (token[0] == '-' || token[0] == '+') ? 1 : 0;
    const std::uint32_t magnitude = digitsOf(token, first, 10);
    return negative ? 0u - magnitude : magnitude;
  }
  if (token.size() == 1) return 0;
  if (token[1] == 'x') return digitsOf(token, 2, 16);
  return digitsOf(token, 1, 8);
}

std::uint32_t getNumber(std::FILE* stream) {
  getToken(stream);
  return tokenValue(AmToken);
}

bool atClose(std::FILE* stream) {
  skipSpace(stream);
  const int c = std::getc(stream);
  if (c == EOF) return false;
  std::ungetc(c, stream);
  return c == '>';
}

// ---------------------------------------------------------------------------
// Statements.

int stmt(std::FILE* stream, const char* const* names, const Handler* handlers, int count) {
  if (atEnd(stream)) return 0;
  skipSpace(stream);
  int c = std::getc(stream);
  if (c == EOF) return 0;
  if (c != '<') return fail("Expected < on line %d.");

  getToken(stream);
  const int index = StringVectorSearch(names, count, AmToken.c_str());
  if (index >= 0) {
    if (const int result = handlers[index](stream); result != 0) return result;
    skipSpace(stream);
    if (std::getc(stream) == '>') return 0;
    return fail("Expected > on line %d.");
  }
  if (std::strcmp(AmToken.c_str(), "Comment") == 0) {
    // Nothing inside a comment is interpreted; only the brackets nest.
    long long depth = 1;
    while (depth > 0 && (c = std::getc(stream)) != EOF) {
      if (c == '<') ++depth;
      if (c == '>') --depth;
    }
    return 0;
  }
  return failKeyword(names, count);
}

// Font statements: each fills one field of AmCurrentSpec.

void setStyleBit(std::uint8_t bit) {
  if (AmToken[0] == 'y') {
    AmCurrentSpec->style |= bit;
  } else {
    AmCurrentSpec->style &= static_cast<std::uint8_t>(~bit);
  }
}

int readCode(std::FILE* stream) {
  AmCurrentSpec->code = static_cast<std::uint8_t>(getNumber(stream));
  return 0;
}

int readBold(std::FILE* stream) {
  getToken(stream);
  setStyleBit(kStyleBold);
  return 0;
}

int readFamily(std::FILE* stream) {
  getToken(stream);
  if (AmCurrentSpec->family != nullptr &&
      std::strcmp(AmCurrentSpec->family, AmToken.c_str()) == 0) {
    return 0;
  }
  char* copy = StringCopy(AmToken.c_str());
  if (copy == nullptr) return failMemory();
  std::free(AmCurrentSpec->family);
  AmCurrentSpec->family = copy;
  return 0;
}

int readItalic(std::FILE* stream) {
  getToken(stream);
  setStyleBit(kStyleItalic);
  return 0;
}

int readPlain(std::FILE* stream) {
  getToken(stream);
  if (AmToken[0] == 'y') AmCurrentSpec->style = 0;
  return 0;
}

int readSize(std::FILE* stream) {
  AmCurrentSpec->size = static_cast<std::uint8_t>(getNumber(stream));
  return 0;
}

int readStrike(std::FILE* stream) {
  getToken(stream);
  setStyleBit(kStyleStrike);
  return 0;
}

int readUnderline(std::FILE* stream) {
  getToken(stream);
  setStyleBit(kStyleUnderline);
  return 0;
}

int readGfid(std::FILE* stream) {
  AmCurrentSpec->gfid = getNumber(stream);
  return 0;
}

constexpr const char* AmFontKeywordNames[] = {"Code",  "FBold",   "FFamily",    "FItalic", "FPlain",
                                              "FSize", "FStrike", "FUnderline", "GFID"};
constexpr Handler AmFontKeywordHandlers[] = {readCode,   readBold,      readFamily,
                                             readItalic, readPlain,     readSize,
                                             readStrike, readUnderline, readGfid};
constexpr int kFontKeywordCount = static_cast<int>(std::size(AmFontKeywordNames));
static_assert(std::size(AmFontKeywordHandlers) == std::size(AmFontKeywordNames));

// The body of a top-level statement: font statements up to the closing ">".
int AmReadSpec(std::FILE* stream) {
  for (;;) {
    if (atEnd(stream)) return 0;
    const int result = stmt(stream, AmFontKeywordNames, AmFontKeywordHandlers, kFontKeywordCount);
    if (result != 0) return result;
    if (atClose(stream)) return 0;
  }
}

// Inserts the font named by `wanted` through the spare entry. When the spare
// joins the map it keeps the family text and `wanted` gets a fresh
// copy. Null when the map or a copy cannot be had.
AmFontEntry* enterFont(AmFontSpec& wanted) {
  if (AmSpareEntry == nullptr && (AmSpareEntry = newEntry()) == nullptr) return nullptr;
  AmSpareEntry->family = wanted.family;
  AmSpareEntry->gfid = wanted.gfid;
  AmSpareEntry->style = wanted.style;
  AmSpareEntry->size = wanted.size;
  auto* entry = static_cast<AmFontEntry*>(HashInsert(&AmFontMap, AmSpareEntry));
  if (entry == nullptr) return nullptr;
  if (entry == AmSpareEntry) {
    AmSpareEntry = nullptr;
    if (wanted.family != nullptr) entryTexts.push_back(wanted.family);
    wanted.family = StringCopy(textOf(wanted.family));
    if (wanted.family == nullptr) return nullptr;
  }
  return entry;
}

// Links the source font (AmSrcSpec) to the font just read: as a copy with the
// pending rules, or by mapping one source code point into it.
int AmEnterMapping(bool copyFont) {
  AmFontEntry* source = enterFont(AmSrcSpec);
  if (source == nullptr) return failMemory();
  AmFontEntry* target = enterFont(*AmCurrentSpec);
  if (target == nullptr) return failMemory();

  if (copyFont) {
    source->rules = AmPendingRules;
    AmPendingRules = nullptr;
    source->copyOf = target;
    return 0;
  }

  if (!hasTable(source)) {
    // The first character mapping of a font sends every code point,
    // unchanged, to this target font.
    auto* codes = static_cast<std::uint8_t*>(std::malloc(kCodePoints));
    auto* fonts = static_cast<AmFontEntry**>(std::malloc(kCodePoints * sizeof(AmFontEntry*)));
    if (codes == nullptr || fonts == nullptr) {
      std::free(codes);
      std::free(fonts);
      return failMemory();
    }
    for (int c = 0; c < kCodePoints; ++c) {
      codes[c] = static_cast<std::uint8_t>(c);
      fonts[c] = target;
    }
    source->codeMap = codes;
    source->fontMap = fonts;
  }
  source->fontMap[AmSrcSpec.code] = target;
  source->codeMap[AmSrcSpec.code] = AmCorlaSpec.code;
  return 0;
}

// Top-level statements.

int readCopyFont(std::FILE* stream) {
  AmCurrentSpec = &AmCopySpec;
  if (const int result = AmReadSpec(stream); result != 0) return result;
  return AmEnterMapping(true);
}

int readCorlaChar(std::FILE* stream) {
  AmCurrentSpec = &AmCorlaSpec;
  if (const int result = AmReadSpec(stream); result != 0) return result;
  return AmEnterMapping(false);
}

int readPreChar(std::FILE* stream);
int readPostChar(std::FILE* stream);

int readSrcChar(std::FILE* stream) {
  AmCurrentSpec = &AmSrcSpec;
  return AmReadSpec(stream);
}

constexpr const char* AmMapKeywordNames[] = {"CopyFont", "CorlaChar", "PostChar", "PreChar",
                                             "SrcChar"};
constexpr Handler AmMapKeywordHandlers[] = {readCopyFont, readCorlaChar, readPostChar, readPreChar,
                                            readSrcChar};
constexpr int kMapKeywordCount = static_cast<int>(std::size(AmMapKeywordNames));
static_assert(std::size(AmMapKeywordHandlers) == std::size(AmMapKeywordNames));

int readPreChar(std::FILE* stream) {
  AmRule* rule = newRule();
  if (rule == nullptr) return failMemory();
  rule->next = AmPendingRules;
  AmPendingRules = rule;
  AmCurrentSpec = &rule->pre;
  return AmReadSpec(stream);
}

int readPostChar(std::FILE* stream) {
  // A substitution needs the rule its "PreChar" opened.
  if (AmPendingRules == nullptr) return failKeyword(AmMapKeywordNames, kMapKeywordCount);
  AmCurrentSpec = &AmPendingRules->post;
  return AmReadSpec(stream);
}

void clearFontSpec(AmFontSpec& standing) {
  std::free(standing.family);
  standing = AmFontSpec{};
}

int AmInit() {
  amInitialized = true;
  HashSetPrinters(&AmFontMap, AmPrintText, AmPrintEntry);
  const int created = HashNew(
      &AmFontMap, 2, 5, static_cast<std::uint32_t>(offsetof(AmFontEntry, next)), AmCompare, AmHash,
      [](std::size_t size) { return std::malloc(size); },
      [](void* pointer) { std::free(pointer); });
  for (AmFontSpec* standing : {&AmSrcSpec, &AmCorlaSpec, &AmCopySpec}) {
    clearFontSpec(*standing);
    standing->family = StringCopy("");
    if (standing->family == nullptr) return failMemory();
  }
  AmPendingRules = nullptr;
  return created ? 0 : failMemory();
}

// ---------------------------------------------------------------------------
// Copied fonts.

// Builds the table of `entry` from `copied`, the table font that the lookup of
// the font it copies returned, applying its rules. Every rule is tested
// against the copied font's own values, and the table is installed only once
// complete.
bool buildCopiedTable(AmFontEntry* entry, const AmFontEntry* copied) {
  if (lookupSpare == nullptr && (lookupSpare = newEntry()) == nullptr) return false;

  auto* codes = static_cast<std::uint8_t*>(std::malloc(kCodePoints));
  auto* fonts = static_cast<AmFontEntry**>(std::malloc(kCodePoints * sizeof(AmFontEntry*)));
  auto abandon = [&]() {
    std::free(codes);
    std::free(fonts);
    return false;
  };
  if (codes == nullptr || fonts == nullptr) return abandon();

  for (int c = 0; c < kCodePoints; ++c) {
    const std::uint8_t copiedCode = copied->codeMap[c];
    const AmFontEntry* output = copied->fontMap[c];
    std::uint8_t code = copiedCode;
    char* family = output->family;
    std::uint8_t size = output->size;
    std::uint8_t style = output->style;
    for (const AmRule* rule = entry->rules; rule != nullptr; rule = rule->next) {
      if (rule->pre.code == copiedCode) code = rule->post.code;
      // A rule without a substitute family leaves the family alone: an output
      // font without a family could not be keyed.
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
    auto* font = static_cast<AmFontEntry*>(HashInsert(&AmFontMap, lookupSpare));
    if (font == nullptr) return abandon();
    if (font == lookupSpare && (lookupSpare = newEntry()) == nullptr) return abandon();
    codes[c] = code;
    fonts[c] = font;
  }
  entry->codeMap = codes;
  entry->fontMap = fonts;
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
    auto* entry = static_cast<AmFontEntry*>(HashSearch(&AmFontMap, &probe));
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

int AmFontOpen(std::FILE* stream) {
  if (!amInitialized) {
    if (const int result = AmInit(); result != 0) return result;
  }
  AmLine = 1;
  try {
    AmToken.reserve(80);
    while (!atEnd(stream)) {
      const int result = stmt(stream, AmMapKeywordNames, AmMapKeywordHandlers, kMapKeywordCount);
      if (result != 0) return result;
    }
  } catch (const std::bad_alloc&) {
    // The token buffer or the bookkeeping of entries and rules could not grow.
    return failMemory();
  }
  return 0;
}

const char* AmErrorText() {
  return AmError.c_str();
}

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
  HashDump(&AmFontMap);
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

void AmReset() {
  for (AmFontEntry* entry : allEntries) {
    std::free(entry->codeMap);
    std::free(entry->fontMap);
    std::free(entry);
  }
  for (char* text : entryTexts) std::free(text);
  for (AmRule* rule : allRules) {
    std::free(rule->pre.family);
    std::free(rule->post.family);
    std::free(rule);
  }
  allEntries.clear();
  entryTexts.clear();
  allRules.clear();
  for (AmFontSpec* standing : {&AmSrcSpec, &AmCorlaSpec, &AmCopySpec}) clearFontSpec(*standing);
  HashFree(&AmFontMap);
  AmFontMap = HashTable{};
  amInitialized = false;
  AmCurrentSpec = nullptr;
  AmPendingRules = nullptr;
  AmSpareEntry = nullptr;
  AmLine = 1;
  AmToken.clear();
  AmError.clear();
  lastResult = nullptr;
  lastFamily = nullptr;
  lastGfid = 0;
  lastSize = 0;
  lastStyle = 0;
  lookupSpare = nullptr;
}

}  // namespace vantrove
