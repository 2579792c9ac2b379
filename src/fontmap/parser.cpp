// The font map parser: reads "dca.am" into the map of font entries keyed by
// font identity, giving each source font its character table or the font it
// copies with its substitution rules. The map, its entries and the parser's
// standing font records (AmSrcSpec, AmCorlaSpec, AmCopySpec) live until AmReset.
#include <sys/stat.h>

#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "fontmap/fontmap.h"
#include "fontmap/fontmap_internal.h"
#include "tools/hash.h"
#include "tools/string.h"
#include "tools/vector.h"

namespace vantrove {

using namespace fontmap;

namespace {

// The text of one font map stream, read whole into memory, and the parse's
// place in it. The parse reads it as it once read the stream a character at a
// time: a read at the end gives EOF and marks the end as met, as the stream's
// end-of-file indicator was; nothing is read after that.
struct Source {
  const unsigned char* next;
  const unsigned char* end;
  bool ended = false;  // a read has met the end

  int get() {
    if (next == end) {
      ended = true;
      return EOF;
    }
    return *next++;
  }
};

using Handler = int (*)(Source& in);

// The first buffer for a stream of unknown size, and the largest file that is
// given a first buffer of its own size.
constexpr std::size_t kFirstRead = std::size_t{1} << 16;
constexpr std::uint64_t kLargestFirstRead = std::uint64_t{1} << 40;

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
// The entries that AmSrcSpec, AmCorlaSpec and AmCopySpec were last entered as.
AmFontEntry* AmLastEntered[3] = {};
int AmLine = 1;
// The last token read: a piece of the text being parsed, valid while it is,
// and the same up to its first NUL character.
std::string_view AmToken;
std::string_view AmTokenText;

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

int failKeyword(const std::string_view* names, int count) {
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

// What a character is to the tokenizer: most characters neither end a token
// nor quote nor escape.
enum CharKind : std::uint8_t { kOrdinary, kSpace, kClose, kQuote, kBackslash, kNul };
constexpr auto kCharKinds = [] {
  std::array<std::uint8_t, 256> kinds{};
  kinds[' '] = kinds['\t'] = kinds['\n'] = kSpace;
  kinds['>'] = kClose;
  kinds['\''] = kQuote;
  kinds['\\'] = kBackslash;
  kinds['\0'] = kNul;
  return kinds;
}();

// Skips white space, counting the newlines skipped.
void skipSpace(Source& in) {
  for (; in.next != in.end; ++in.next) {
    const unsigned char c = *in.next;
    if (!isSpace(c)) return;
    if (c == '\n' && AmLine < INT_MAX) ++AmLine;
  }
  in.ended = true;
}

// Reads one token into AmToken, and into AmTokenText up to its first NUL
// character (what its C string held). Outside apostrophes it ends at white
// space (consumed) or ">" (left in the text). An apostrophe not escaped by a
// backslash toggles the quoted state; "\\" escapes nothing after it.
void getToken(Source& in) {
  skipSpace(in);
  const unsigned char* const first = in.next;
  const unsigned char* const end = in.end;
  const unsigned char* p = first;
  const unsigned char* nul = nullptr;  // the token's first NUL character
  bool quoted = false;
  bool escaping = false;  // the previous character is a backslash that escapes
  for (;; ++p) {
    const unsigned char* const ordinary = p;
    while (p != end && kCharKinds[*p] == kOrdinary) ++p;
    if (p != ordinary) escaping = false;
    if (p == end) {
      in.ended = true;
      break;
    }
    const std::uint8_t kind = kCharKinds[*p];
    if ((kind == kSpace || kind == kClose) && !quoted) break;
    if (kind == kQuote && !escaping) quoted = !quoted;
    if (kind == kNul && nul == nullptr) nul = p;
    escaping = kind == kBackslash && !escaping;
  }
  const auto piece = [first](const unsigned char* last) {
    return std::string_view(reinterpret_cast<const char*>(first),
                            static_cast<std::size_t>(last - first));
  };
  AmToken = piece(p);
  AmTokenText = nul != nullptr ? piece(nul) : AmToken;
  // White space that ends a token is consumed; ">" is left for the statement.
  in.next = p != end && kCharKinds[*p] == kSpace ? p + 1 : p;
}

// Whether a yes-or-no token says yes.
bool saysYes(std::string_view token) {
  return !token.empty() && token[0] == 'y';
}

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// Digits of `base` from `first` to the end of the token, in 32-bit wrapping
// arithmetic; a token that is not a number of that base is taken as 0.
std::uint32_t digitsOf(std::string_view token, std::size_t first, std::uint32_t base) {
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
std::uint32_t tokenValue(std::string_view token) {
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

std::uint32_t getNumber(Source& in) {
  getToken(in);
  return tokenValue(AmToken);
}

bool atClose(Source& in) {
  skipSpace(in);
  return in.next != in.end && *in.next == '>';
}

// ---------------------------------------------------------------------------
// Statements.

int stmt(Source& in, const std::string_view* names, const Handler* handlers, int count) {
  if (in.ended) return 0;
  skipSpace(in);
  int c = in.get();
  if (c == EOF) return 0;
  if (c != '<') return fail("Expected < on line %d.");

  getToken(in);
  const std::string_view keyword = AmTokenText;
  for (int index = 0; index < count; ++index) {
    if (keyword != names[index]) continue;
    if (const int result = handlers[index](in); result != 0) return result;
    skipSpace(in);
    if (in.get() == '>') return 0;
    return fail("Expected > on line %d.");
  }
  if (keyword == "Comment") {
    // Nothing inside a comment is interpreted; only the brackets nest. Each
    // ">" closes the brackets opened before it.
    long long depth = 1;
    const unsigned char* p = in.next;
    for (;;) {
      const auto* close = static_cast<const unsigned char*>(std::memchr(p, '>', in.end - p));
      if (close == nullptr) {
        in.next = in.end;
        in.ended = true;
        return 0;
      }
      while (const void* open = std::memchr(p, '<', close - p)) {
        p = static_cast<const unsigned char*>(open) + 1;
        ++depth;
      }
      p = close + 1;
      if (--depth == 0) {
        in.next = p;
        return 0;
      }
    }
  }
  return failKeyword(names, count);
}

// Font statements: each fills one field of AmCurrentSpec.

void setStyleBit(std::uint8_t bit) {
  if (saysYes(AmToken)) {
    AmCurrentSpec->style |= bit;
  } else {
    AmCurrentSpec->style &= static_cast<std::uint8_t>(~bit);
  }
}

int readCode(Source& in) {
  AmCurrentSpec->code = static_cast<std::uint8_t>(getNumber(in));
  return 0;
}

int readBold(Source& in) {
  getToken(in);
  setStyleBit(kStyleBold);
  return 0;
}

int readFamily(Source& in) {
  getToken(in);
  const std::string_view family = AmTokenText;
  if (AmCurrentSpec->family != nullptr && family == AmCurrentSpec->family) return 0;
  char* copy = StringCopy(family.data(), family.size());
  if (copy == nullptr) return failMemory();
  freeText(AmCurrentSpec->family);
  AmCurrentSpec->family = copy;
  return 0;
}

int readItalic(Source& in) {
  getToken(in);
  setStyleBit(kStyleItalic);
  return 0;
}

int readPlain(Source& in) {
  getToken(in);
  if (saysYes(AmToken)) AmCurrentSpec->style = 0;
  return 0;
}

int readSize(Source& in) {
  AmCurrentSpec->size = static_cast<std::uint8_t>(getNumber(in));
  return 0;
}

int readStrike(Source& in) {
  getToken(in);
  setStyleBit(kStyleStrike);
  return 0;
}

int readUnderline(Source& in) {
  getToken(in);
  setStyleBit(kStyleUnderline);
  return 0;
}

int readGfid(Source& in) {
  AmCurrentSpec->gfid = getNumber(in);
  return 0;
}

constexpr std::string_view AmFontKeywordNames[] = {
    "Code", "FBold", "FFamily", "FItalic", "FPlain", "FSize", "FStrike", "FUnderline", "GFID"};
constexpr Handler AmFontKeywordHandlers[] = {readCode,   readBold,      readFamily,
                                             readItalic, readPlain,     readSize,
                                             readStrike, readUnderline, readGfid};
constexpr int kFontKeywordCount = static_cast<int>(std::size(AmFontKeywordNames));
static_assert(std::size(AmFontKeywordHandlers) == std::size(AmFontKeywordNames));

// The body of a top-level statement: font statements up to the closing ">".
int AmReadSpec(Source& in) {
  for (;;) {
    if (in.ended) return 0;
    const int result = stmt(in, AmFontKeywordNames, AmFontKeywordHandlers, kFontKeywordCount);
    if (result != 0) return result;
    if (atClose(in)) return 0;
  }
}

AmFontEntry*& lastEntered(const AmFontSpec& standing) {
  if (&standing == &AmSrcSpec) return AmLastEntered[0];
  if (&standing == &AmCorlaSpec) return AmLastEntered[1];
  return AmLastEntered[2];
}

// Inserts the font named by `wanted` through the spare entry. When the spare
// joins the map it keeps the family text and `wanted` gets a fresh
// copy. Null when the map or a copy cannot be had.
AmFontEntry* enterFont(AmFontSpec& wanted) {
  // Most mappings name the same source and target fonts as the one before:
  // the entry the record was last entered as, if it still names that font,
  // is the one the map holds for it.
  AmFontEntry*& last = lastEntered(wanted);
  if (last != nullptr) {
    AmFontEntry probe{};
    probe.family = wanted.family;
    probe.gfid = wanted.gfid;
    probe.style = wanted.style;
    probe.size = wanted.size;
    if (AmCompare(last, &probe) != 0) return last;
  }
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
  last = entry;
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

int readCopyFont(Source& in) {
  AmCurrentSpec = &AmCopySpec;
  if (const int result = AmReadSpec(in); result != 0) return result;
  return AmEnterMapping(true);
}

int readCorlaChar(Source& in) {
  AmCurrentSpec = &AmCorlaSpec;
  if (const int result = AmReadSpec(in); result != 0) return result;
  return AmEnterMapping(false);
}

int readPreChar(Source& in);
int readPostChar(Source& in);

int readSrcChar(Source& in) {
  AmCurrentSpec = &AmSrcSpec;
  return AmReadSpec(in);
}

constexpr std::string_view AmMapKeywordNames[] = {"CopyFont", "CorlaChar", "PostChar", "PreChar",
                                                  "SrcChar"};
constexpr Handler AmMapKeywordHandlers[] = {readCopyFont, readCorlaChar, readPostChar, readPreChar,
                                            readSrcChar};
constexpr int kMapKeywordCount = static_cast<int>(std::size(AmMapKeywordNames));
static_assert(std::size(AmMapKeywordHandlers) == std::size(AmMapKeywordNames));

int readPreChar(Source& in) {
  AmRule* rule = newRule();
  if (rule == nullptr) return failMemory();
  rule->next = AmPendingRules;
  AmPendingRules = rule;
  AmCurrentSpec = &rule->pre;
  return AmReadSpec(in);
}

int readPostChar(Source& in) {
  // A substitution needs the rule its "PreChar" opened.
  if (AmPendingRules == nullptr) return failKeyword(AmMapKeywordNames, kMapKeywordCount);
  AmCurrentSpec = &AmPendingRules->post;
  return AmReadSpec(in);
}

void clearFontSpec(AmFontSpec& standing) {
  freeText(standing.family);
  standing = AmFontSpec{};
}

// A font table's lines mostly map one code point to another with every other
// font field standing: "<SrcChar <Code A>> <CorlaChar <Code B>>" on one line.
// Such a pair is read here at once, with the effect of its two statements;
// anything else, or any other spelling, is left to them. The two codes are
// plain number tokens (no quotes, escapes, blanks or NULs) and only blanks
// and tabs stand between the statements, so no line is crossed.
bool quickPair(Source& in, int& result) {
  const unsigned char* p = in.next;
  const auto literal = [&](std::string_view text) {
    if (static_cast<std::size_t>(in.end - p) < text.size() ||
        std::memcmp(p, text.data(), text.size()) != 0) {
      return false;
    }
    p += text.size();
    return true;
  };
  const auto number = [&](std::string_view& token) {
    const unsigned char* const first = p;
    while (p != in.end && ((*p >= '0' && *p <= '9') || (*p >= 'A' && *p <= 'Z') ||
                           (*p >= 'a' && *p <= 'z') || *p == '-' || *p == '+')) {
      ++p;
    }
    token =
        std::string_view(reinterpret_cast<const char*>(first), static_cast<std::size_t>(p - first));
    return !token.empty();
  };
  std::string_view source;
  std::string_view target;
  if (!literal("<SrcChar <Code ") || !number(source) || !literal(">>")) return false;
  while (p != in.end && (*p == ' ' || *p == '\t')) ++p;
  if (!literal("<CorlaChar <Code ") || !number(target) || !literal(">>")) return false;
  in.next = p;
  AmSrcSpec.code = static_cast<std::uint8_t>(tokenValue(source));
  AmCorlaSpec.code = static_cast<std::uint8_t>(tokenValue(target));
  AmCurrentSpec = &AmCorlaSpec;
  result = AmEnterMapping(false);
  return true;
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

// Reads the rest of the stream into `text`, whose first `length` characters
// it then holds: up to the stream's end, or up to a read error, where the
// parse stops as it stopped at the character that could not be read. A
// regular file is read in one go into a buffer of its size and one more
// character (the short read that shows its end); any other stream in blocks
// into a buffer that doubles. False when memory ran out.
bool readWhole(std::FILE* stream, std::unique_ptr<char[]>& text, std::size_t& length) {
  length = 0;
  // A stream already at its end or failed gives nothing more.
  if (std::feof(stream) != 0 || std::ferror(stream) != 0) return true;
  std::size_t capacity = kFirstRead;
  struct stat status {};
  const int descriptor = fileno(stream);
  if (descriptor >= 0 && fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
      status.st_size >= 0 && static_cast<std::uint64_t>(status.st_size) < kLargestFirstRead) {
    capacity = static_cast<std::size_t>(status.st_size) + 1;
  }
  for (;;) {
    std::unique_ptr<char[]> larger(new (std::nothrow) char[capacity]);
    if (larger == nullptr) return false;
    if (length != 0) std::memcpy(larger.get(), text.get(), length);
    text = std::move(larger);
    length += std::fread(text.get() + length, 1, capacity - length, stream);
    if (length < capacity) return true;
    if (capacity > SIZE_MAX / 2) return false;
    capacity *= 2;
  }
}

}  // namespace

int AmFontOpen(std::FILE* stream) {
  if (!amInitialized) {
    if (const int result = AmInit(); result != 0) return result;
  }
  AmLine = 1;
  std::unique_ptr<char[]> text;
  std::size_t length = 0;
  if (!readWhole(stream, text, length)) return failMemory();
  Source in{reinterpret_cast<const unsigned char*>(text.get()),
            reinterpret_cast<const unsigned char*>(text.get()) + length};
  int result = 0;
  try {
    while (!in.ended && result == 0) {
      skipSpace(in);
      if (quickPair(in, result)) continue;
      result = stmt(in, AmMapKeywordNames, AmMapKeywordHandlers, kMapKeywordCount);
    }
  } catch (const std::bad_alloc&) {
    // The bookkeeping of entries and rules could not grow.
    result = failMemory();
  }
  AmToken = AmTokenText = {};  // the text goes
  return result;
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
  for (AmFontEntry*& last : AmLastEntered) last = nullptr;
  AmLine = 1;
  AmToken = AmTokenText = {};
  AmError.clear();
  lookupReset();
}

}  // namespace vantrove
