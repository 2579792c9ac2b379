// The font map parser: reads "dca.am" into the map of font entries keyed by
// font identity, giving each source font its character table or the font it
// copies with its substitution rules. The map, its entries and the parser's
// standing font records (AmSrcSpec, AmCorlaSpec, AmCopySpec) live until AmReset.
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "fontmap/fontmap.h"
#include "fontmap/fontmap_internal.h"
#include "tools/hash.h"
#include "tools/string.h"
#include "tools/vector.h"

namespace vantrove {

using namespace fontmap;

namespace {

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

// The text of the last error. It lives in a fixed buffer, so that saying
// "Memory is full" needs no memory; the longest text, the font keyword list,
// takes about 100 characters.
class ErrorText {
 public:
  void clear() {
    length_ = 0;
    text_[0] = '\0';
  }
  void append(std::string_view piece) {
    const std::size_t room = sizeof text_ - 1 - length_;
    const std::size_t taken = piece.size() < room ? piece.size() : room;
    std::memcpy(text_ + length_, piece.data(), taken);
    length_ += taken;
    text_[length_] = '\0';
  }
  const char* text() const { return text_; }

 private:
  char text_[192] = "";
  std::size_t length_ = 0;
};
ErrorText AmError;

std::vector<AmFontEntry*> allEntries;  // every entry allocated, spares included
std::vector<AmRule*> allRules;         // every rule allocated
std::vector<char*> entryTexts;         // family texts handed over to entries

// ---------------------------------------------------------------------------
// Allocation. Entries and rules are zeroed C records, as the map links them
// through raw pointers; a null result is reported by the caller. Room in the
// registry is made first, so that a record is never made without its place.

AmRule* newRule() {
  VectorMakeRoom(allRules);
  auto* rule = new (std::nothrow) AmRule{};
  if (rule != nullptr) allRules.push_back(rule);
  return rule;
}

// Frees a family text owned by an AmFontSpec or handed over to an entry.
void freeText(char* text) {
  delete[] text;
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
  AmError.clear();
  AmError.append(text);
  return 1;
}

int failMemory() {
  return fail("Memory is full at line %d.");
}

int failKeyword(const char* const* names, int count) {
  char head[48];
  std::snprintf(head, sizeof head, "On line %d expected", AmLine);
  AmError.clear();
  AmError.append(head);
  for (int i = 0; i < count; ++i) {
    AmError.append(" ");
    AmError.append(names[i]);
    AmError.append(i + 1 < count ? "," : ".");
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
  freeText(AmCurrentSpec->family);
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
  VectorMakeRoom(entryTexts);
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
    CharTable table;
    if (!table.allocate()) return failMemory();
    for (int c = 0; c < kCodePoints; ++c) {
      table.codes[c] = static_cast<std::uint8_t>(c);
      table.fonts[c] = target;
    }
    table.giveTo(source);
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
  freeText(standing.family);
  standing = AmFontSpec{};
}

int AmInit() {
  amInitialized = true;
  HashSetPrinters(&AmFontMap, AmPrintText, AmPrintEntry);
  const int created = HashNew(
      &AmFontMap, 2, 5, static_cast<std::uint32_t>(offsetof(AmFontEntry, next)), AmCompare, AmHash,
      [](std::size_t size) { return ::operator new(size, std::nothrow); },
      [](void* pointer) { ::operator delete(pointer); });
  for (AmFontSpec* standing : {&AmSrcSpec, &AmCorlaSpec, &AmCopySpec}) {
    clearFontSpec(*standing);
    standing->family = StringCopy("");
    if (standing->family == nullptr) return failMemory();
  }
  AmPendingRules = nullptr;
  return created ? 0 : failMemory();
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
  return AmError.text();
}

HashTable& fontmap::fontTable() {
  return AmFontMap;
}

AmFontEntry* fontmap::newEntry() {
  VectorMakeRoom(allEntries);
  auto* entry = new (std::nothrow) AmFontEntry{};
  if (entry != nullptr) allEntries.push_back(entry);
  return entry;
}

void AmReset() {
  for (AmFontEntry* entry : allEntries) {
    delete[] entry->codeMap;
    delete[] entry->fontMap;
    delete entry;
  }
  for (char* text : entryTexts) freeText(text);
  for (AmRule* rule : allRules) {
    freeText(rule->pre.family);
    freeText(rule->post.family);
    delete rule;
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
  lookupReset();
}

}  // namespace vantrove
