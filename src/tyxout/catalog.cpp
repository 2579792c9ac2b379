// The paragraph catalog: the difference of two paragraph formats, the "Pgf"
// statement, and the catalog of formats that paragraphs use, indexed so that
// finding the entry a paragraph uses does not compare it with every entry.
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "tools/vector.h"
#include "tyxout/tyxout.h"
#include "tyxout/tyxout_internal.h"

namespace vantrove {

using namespace tyxout;

namespace {

const char* formatTag(const TyxPgf* format) {
  return (format->setMask & kTagBit) != 0 ? textOrEmpty(format->pgfTag) : "";
}

std::size_t tabCount(const TyxPgf* format) {
  return format->pgfNumTabs > 0 ? static_cast<std::size_t>(format->pgfNumTabs) : 0;
}

// Copies newRecord's tab stops into out's buffer and marks out as having them.
void copyTabStops(const TyxPgf* newRecord, TyxPgf* out) {
  const std::size_t count = tabCount(newRecord);
  if (count > 0 && out->tabStop != nullptr && newRecord->tabStop != nullptr &&
      out->tabStop != newRecord->tabStop) {
    std::memmove(out->tabStop, newRecord->tabStop, count * sizeof(TyxTabStop));
  }
  out->pgfNumTabs = newRecord->pgfNumTabs;
  out->setMask |= kNumTabsBit;
}

bool tabStopsAlike(const TyxPgf* oldRecord, const TyxPgf* newRecord) {
  const std::size_t count = tabCount(newRecord);
  if (count == 0) return true;
  if (oldRecord->tabStop == nullptr || newRecord->tabStop == nullptr) return false;
  for (std::size_t i = 0; i < count; ++i) {
    TyxTabStop scratch{};
    TyxFieldsDiff(&oldRecord->tabStop[i], &newRecord->tabStop[i], &scratch, TyxTabStopFields);
    if (scratch.setMask != 0) return false;
  }
  return true;
}

// One catalog entry: a copy of a paragraph format under the entry's own tag,
// with its own copy of the tab stops when the format has any.
struct TyxCatalogEntry {
  std::string tag;
  std::vector<TyxTabStop> tabs;
  TyxPgf format{};        // pgfTag points into `tag`, tabStop into `tabs` when that is not empty
  bool used = false;      // only used entries are written
  std::uint64_t age = 0;  // creation number: a newer entry has a larger one
};

// Whether entry E serves a paragraph of format P: P adds nothing to E (every
// field P holds is in E with the same value, font and tab stops included) and
// E's tag begins with P's tag.
bool entryServes(const TyxCatalogEntry* entry, const TyxPgf* format, std::string_view tag) {
  // A field the paragraph has and the entry lacks always counts as added.
  if ((format->setMask & ~kTagBit & ~entry->format.setMask) != 0) return false;
  if (!std::string_view(entry->tag).starts_with(tag)) return false;
  TyxPgf scratch{};
  scratch.tabStop = format->tabStop;
  TyxPgfDiff(1, &entry->format, format, &scratch);
  return scratch.setMask == 0;
}

// Which fields a paragraph format holds: its own (the tag aside), its font's
// and each tab stop's. An entry can serve a format only when it holds every
// field the format holds, so entries are grouped by shape and a lookup visits
// only the groups whose shape covers the format's.
struct FormatShape {
  std::uint32_t pgfMask = 0;   // without the tag bit
  std::uint32_t fontMask = 0;  // when the format has a paragraph font
  // Tab stops are counted but there is no array to compare: such a format
  // can never be served, and such an entry never serves a format with tabs.
  bool tabsMissing = false;
  std::vector<std::uint32_t> tabMasks;  // when the format has tab stops

  bool operator==(const FormatShape&) const = default;
};

// FNV-1a over the bytes given.
class ByteHash {
 public:
  void add(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) value_ = (value_ ^ bytes[i]) * 0x100000001B3u;
  }
  std::uint64_t value() const { return value_; }

 private:
  std::uint64_t value_ = 0xCBF29CE484222325u;
};

struct FormatShapeHash {
  std::size_t operator()(const FormatShape& shape) const noexcept {
    ByteHash hash;
    hash.add(&shape.pgfMask, sizeof shape.pgfMask);
    hash.add(&shape.fontMask, sizeof shape.fontMask);
    hash.add(&shape.tabsMissing, sizeof shape.tabsMissing);
    hash.add(shape.tabMasks.data(), shape.tabMasks.size() * sizeof(std::uint32_t));
    return static_cast<std::size_t>(hash.value());
  }
};

FormatShape shapeOf(const TyxPgf* format) {
  FormatShape shape;
  shape.pgfMask = format->setMask & ~kTagBit;
  if ((shape.pgfMask & kFontBit) != 0) shape.fontMask = format->pgfFont.setMask;
  if ((shape.pgfMask & kNumTabsBit) != 0) {
    const std::size_t count = tabCount(format);
    if (count > 0 && format->tabStop == nullptr) {
      shape.tabsMissing = true;
    } else {
      shape.tabMasks.reserve(count);
      for (std::size_t i = 0; i < count; ++i) shape.tabMasks.push_back(format->tabStop[i].setMask);
    }
  }
  return shape;
}

// Whether an entry of shape `outer` holds every field a format of shape
// `inner` holds, which it must to serve that format.
bool covers(const FormatShape& outer, const FormatShape& inner) {
  if ((inner.pgfMask & ~outer.pgfMask) != 0) return false;
  if ((inner.pgfMask & kFontBit) != 0 && (inner.fontMask & ~outer.fontMask) != 0) return false;
  if ((inner.pgfMask & kNumTabsBit) == 0) return true;
  if (inner.tabsMissing || outer.tabsMissing) return false;
  if (inner.tabMasks.size() != outer.tabMasks.size()) return false;
  for (std::size_t i = 0; i < inner.tabMasks.size(); ++i) {
    if ((inner.tabMasks[i] & ~outer.tabMasks[i]) != 0) return false;
  }
  return true;
}

// Hashes the values of the fields of `record` that `mask` names, as the field
// difference compares them: texts by their characters, everything else by its
// bytes; nested records not at all.
void hashFields(ByteHash& hash, const void* record, std::uint32_t mask, const TyxFieldDesc* table) {
  const auto* base = static_cast<const unsigned char*>(record);
  for (std::uint32_t i = 0; table[i].keyword != nullptr; ++i) {
    if ((mask & (std::uint32_t{1} << i)) == 0) continue;
    const TyxFieldDesc& desc = table[i];
    const unsigned char* at = base + desc.offset;
    if (desc.type == TyxFieldType::String) {
      const char* text = textOrEmpty(loadField<const char*>(at));
      hash.add(text, std::strlen(text) + 1);
    } else if (desc.type != TyxFieldType::Nested) {
      hash.add(at, fieldWidth(desc));
    }
  }
}

// The text fields of a record table: their offsets and mask bits.
struct TextFields {
  std::array<std::uint32_t, 32> offsets{};
  std::array<std::uint32_t, 32> bits{};
  std::size_t count = 0;
};

TextFields textFieldsOf(const TyxFieldDesc* table) {
  TextFields fields;
  for (std::uint32_t i = 0; table[i].keyword != nullptr; ++i) {
    if (table[i].type != TyxFieldType::String) continue;
    fields.offsets[fields.count] = static_cast<std::uint32_t>(table[i].offset);
    fields.bits[fields.count] = std::uint32_t{1} << i;
    ++fields.count;
  }
  return fields;
}

// A format that a lookup found an entry for, kept byte for byte with copies of
// the texts and tab stops it points to. A format identical to it in all of
// these (pointers included, so no field is read twice) is the same format as
// far as any lookup can tell, and is served by the same entry while the
// catalog has not grown. A format merely equal in value is not recognised:
// it takes the full lookup.
class FoundFormat {
 public:
  bool matches(const TyxPgf* format, std::size_t catalogSize) const {
    if (entry_ == nullptr || catalogSize_ != catalogSize) return false;
    if (std::memcmp(&format_, format, sizeof format_) != 0) return false;
    std::size_t next = 0;
    if (!sameTexts(format, format->setMask, pgfTexts(), next)) return false;
    if ((format->setMask & kFontBit) != 0 &&
        !sameTexts(&format->pgfFont, format->pgfFont.setMask, fontTexts(), next)) {
      return false;
    }
    const std::size_t tabs = storedTabs(format);
    return tabs == 0 || std::memcmp(tabs_.data(), format->tabStop, tabs * sizeof(TyxTabStop)) == 0;
  }

  void keep(const TyxPgf* format, TyxCatalogEntry* entry, std::size_t catalogSize) {
    entry_ = nullptr;  // until the copies are whole
    std::memcpy(&format_, format, sizeof format_);
    texts_.clear();
    keepTexts(format, format->setMask, pgfTexts());
    if ((format->setMask & kFontBit) != 0) {
      keepTexts(&format->pgfFont, format->pgfFont.setMask, fontTexts());
    }
    const std::size_t tabs = storedTabs(format);
    tabs_.assign(format->tabStop, format->tabStop + tabs);
    entry_ = entry;
    catalogSize_ = catalogSize;
  }

  TyxCatalogEntry* entry() const { return entry_; }
  void forget() { entry_ = nullptr; }

 private:
  static const TextFields& pgfTexts() {
    static const TextFields fields = textFieldsOf(TyxPgfFields);
    return fields;
  }
  static const TextFields& fontTexts() {
    static const TextFields fields = textFieldsOf(TyxFontFields);
    return fields;
  }
  static const char* textAt(const void* record, std::uint32_t offset) {
    return textOrEmpty(loadField<const char*>(static_cast<const unsigned char*>(record) + offset));
  }
  static std::size_t storedTabs(const TyxPgf* format) {
    if ((format->setMask & kNumTabsBit) == 0 || format->tabStop == nullptr) return 0;
    return tabCount(format);
  }

  bool sameTexts(const void* record, std::uint32_t mask, const TextFields& fields,
                 std::size_t& next) const {
    for (std::size_t i = 0; i < fields.count; ++i) {
      if ((mask & fields.bits[i]) == 0) continue;
      if (texts_[next++] != textAt(record, fields.offsets[i])) return false;
    }
    return true;
  }
  void keepTexts(const void* record, std::uint32_t mask, const TextFields& fields) {
    for (std::size_t i = 0; i < fields.count; ++i) {
      if ((mask & fields.bits[i]) != 0) texts_.emplace_back(textAt(record, fields.offsets[i]));
    }
  }

  TyxPgf format_{};
  std::vector<std::string> texts_;  // the set text fields' values, in table order
  std::vector<TyxTabStop> tabs_;
  TyxCatalogEntry* entry_ = nullptr;
  std::size_t catalogSize_ = 0;
};

// Hash of the values of the fields a format of shape `shape` holds, read from
// `format`, whose own shape must cover `shape`. A format and an entry that
// serves it hash alike under the format's shape.
std::uint64_t valuesHash(const FormatShape& shape, const TyxPgf* format) {
  ByteHash hash;
  hashFields(hash, format, shape.pgfMask, TyxPgfFields);
  if ((shape.pgfMask & kFontBit) != 0) {
    hashFields(hash, &format->pgfFont, shape.fontMask, TyxFontFields);
  }
  if ((shape.pgfMask & kNumTabsBit) != 0) {
    for (std::size_t i = 0; i < shape.tabMasks.size(); ++i) {
      hashFields(hash, &format->tabStop[i], shape.tabMasks[i], TyxTabStopFields);
    }
  }
  return hash.value();
}

// The entries, oldest first, live until the writer is reset. Besides them the
// catalog keeps the set of tags in use and the entries grouped by shape. Each
// group hashes its entries, for up to a few format shapes that it covers, by
// the values of that shape's fields, so that a lookup probes one bucket per
// group instead of comparing every entry.
//
// Whatever a change allocates is allocated before anything is linked, so that
// a failed allocation leaves the catalog as it was, and a catalog that is
// used again while an allocation fails finds every structure whole.
class Catalog {
 public:
  // Adds an entry for the format under its own tag, or, unless `keepTag`,
  // under the tag's next numbered variant when the tag is taken; returns it.
  TyxCatalogEntry& add(const TyxPgf* format, bool keepTag) {
    const char* tag = formatTag(format);
    // A variant's number is taken even if its entry cannot be made.
    const bool numbered = !keepTag && tags_.contains(tag);
    const int number = numbered ? ++tagNumber_ : 0;
    auto entry = std::make_unique<TyxCatalogEntry>();
    entry->tag = tag;
    if (numbered) {
      entry->tag += std::to_string(number);
      entry->used = true;
    }
    entry->format = *format;
    entry->format.pgfTag = entry->tag.c_str();
    const std::size_t tabs = tabCount(format);
    if ((format->setMask & kNumTabsBit) != 0 && tabs > 0 && format->tabStop != nullptr) {
      entry->tabs.assign(format->tabStop, format->tabStop + tabs);
      entry->format.tabStop = entry->tabs.data();
    }
    return push(std::move(entry));
  }

  // The newest entry that serves the format, or null.
  TyxCatalogEntry* find(const TyxPgf* format) {
    const std::string_view tag = formatTag(format);
    const FormatShape shape = shapeOf(format);
    std::uint64_t hash = 0;
    bool hashed = false;
    TyxCatalogEntry* best = nullptr;
    // Walks entries newest first up to the first that serves the format; none
    // older than the best found so far can win.
    auto newestServing = [&](auto first, auto last) {
      for (; first != last && (best == nullptr || (*first)->age > best->age); ++first) {
        if (entryServes(*first, format, tag)) {
          best = *first;
          return;
        }
      }
    };
    for (const auto& group : groups_) {
      if (group->entries.empty()) continue;
      if (best != nullptr && group->entries.back()->age < best->age) continue;
      if (!covers(group->shape, shape)) continue;
      const Index* index = indexOf(*group, shape);
      if (index == nullptr) {
        newestServing(group->entries.rbegin(), group->entries.rend());
        continue;
      }
      if (!hashed) {
        hash = valuesHash(shape, format);
        hashed = true;
      }
      if (auto bucket = index->find(hash); bucket != index->end()) {
        newestServing(bucket->second.rbegin(), bucket->second.rend());
      }
    }
    return best;
  }

  // find, answered at once when the format is one of the last few that a
  // lookup found an entry for and no entry has been added since. Paragraphs
  // mostly repeat one of a few formats.
  TyxCatalogEntry* findRepeated(const TyxPgf* format) {
    for (const FoundFormat& found : found_) {
      if (found.matches(format, entries_.size())) return found.entry();
    }
    TyxCatalogEntry* entry = find(format);
    if (entry != nullptr) {
      found_[nextFound_].keep(format, entry, entries_.size());
      nextFound_ = (nextFound_ + 1) % found_.size();
    }
    return entry;
  }

  void markNewestUsed() {
    if (!entries_.empty()) entries_.back()->used = true;
  }

  // Writes the used entries, newest first.
  int out(std::FILE* stream) const {
    for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
      if ((*entry)->used && !TyxPgfOut(&(*entry)->format, stream)) return 0;
    }
    return 1;
  }

  void clear() {
    groupOf_.clear();
    groups_.clear();
    tags_.clear();
    entries_.clear();
    tagNumber_ = 0;
    for (FoundFormat& found : found_) found.forget();
  }

 private:
  // Entries of one group by the hash of the values of one format shape's
  // fields; each bucket oldest first.
  using Bucket = std::vector<TyxCatalogEntry*>;
  using Index = std::unordered_map<std::uint64_t, Bucket>;
  struct Group {
    FormatShape shape;
    std::vector<TyxCatalogEntry*> entries;  // oldest first; empty after a failed addition
    std::unordered_map<FormatShape, Index, FormatShapeHash> indexes;
  };
  // A group asked about ever more format shapes is walked instead of indexed
  // once more, so that the indexes stay within a few pointers per entry.
  static constexpr std::size_t kIndexesPerGroup = 4;

  TyxCatalogEntry& push(std::unique_ptr<TyxCatalogEntry> entry) {
    TyxCatalogEntry* made = entry.get();
    made->age = entries_.size() + 1;
    // First everything that may fail: room in each list the entry joins. A
    // group or a bucket made here and left empty by a failure is never found.
    FormatShape shape = shapeOf(&made->format);
    VectorMakeRoom(entries_);
    Group* group = nullptr;
    if (auto found = groupOf_.find(shape); found != groupOf_.end()) {
      group = found->second;
    } else {
      auto fresh = std::make_unique<Group>();
      fresh->shape = shape;
      VectorMakeRoom(groups_);
      groupOf_.emplace(std::move(shape), fresh.get());
      group = fresh.get();
      groups_.push_back(std::move(fresh));
    }
    VectorMakeRoom(group->entries);
    std::array<Bucket*, kIndexesPerGroup> buckets{};
    std::size_t bucketCount = 0;
    for (auto& [formatShape, index] : group->indexes) {
      Bucket& bucket = index[valuesHash(formatShape, &made->format)];
      VectorMakeRoom(bucket);
      buckets[bucketCount++] = &bucket;
    }
    tags_.insert(made->tag);
    // Then the links, none of which allocates.
    for (std::size_t i = 0; i < bucketCount; ++i) buckets[i]->push_back(made);
    group->entries.push_back(made);
    entries_.push_back(std::move(entry));
    return *made;
  }

  const Index* indexOf(Group& group, const FormatShape& shape) {
    if (auto found = group.indexes.find(shape); found != group.indexes.end()) {
      return &found->second;
    }
    if (group.indexes.size() == kIndexesPerGroup) return nullptr;
    Index index;
    for (TyxCatalogEntry* entry : group.entries) {
      index[valuesHash(shape, &entry->format)].push_back(entry);
    }
    return &group.indexes.emplace(shape, std::move(index)).first->second;
  }

  std::vector<std::unique_ptr<TyxCatalogEntry>> entries_;  // oldest first
  int tagNumber_ = 0;                          // shared by the numbered variants of all tags
  std::unordered_set<std::string_view> tags_;  // views of the entries' own tags
  std::vector<std::unique_ptr<Group>> groups_;
  std::unordered_map<FormatShape, Group*, FormatShapeHash> groupOf_;
  std::array<FoundFormat, 4> found_;
  std::size_t nextFound_ = 0;
};

Catalog catalog;

}  // namespace

void tyxout::catalogReset() {
  catalog.clear();
}

void TyxPgfDiff(int ignoreTag, const TyxPgf* oldRecord, const TyxPgf* newRecord, TyxPgf* out) {
  const bool newHasTabs = (newRecord->setMask & kNumTabsBit) != 0;
  if (ignoreTag == 0 && (newRecord->setMask & kTagBit) != 0) {
    TyxTabStop* buffer = out->tabStop;
    *out = *newRecord;
    out->tabStop = buffer;
    if (newHasTabs) copyTabStops(newRecord, out);
    return;
  }
  std::uint32_t oldMask = oldRecord->setMask;
  std::uint32_t newMask = newRecord->setMask;
  if (ignoreTag != 0) {
    oldMask &= ~kTagBit;
    newMask &= ~kTagBit;
  }
  fieldsDiff(oldRecord, oldMask, newRecord, newMask, out, TyxPgfFields);

  if ((newMask & kFontBit) != 0) {
    if ((oldMask & kFontBit) != 0) {
      TyxFieldsDiff(&oldRecord->pgfFont, &newRecord->pgfFont, &out->pgfFont, TyxFontFields);
      if (out->pgfFont.setMask != 0) out->setMask |= kFontBit;
    } else {
      out->pgfFont = newRecord->pgfFont;
    }
  }

  if (!newHasTabs) return;
  if ((oldMask & kNumTabsBit) != 0 && oldRecord->pgfNumTabs == newRecord->pgfNumTabs &&
      tabStopsAlike(oldRecord, newRecord)) {
    return;
  }
  copyTabStops(newRecord, out);
}

int TyxPgfOut(const TyxPgf* format, std::FILE* stream) {
  if (!put(stream, "<Pgf\n")) return 0;
  if (!TyxFieldsOut(format, stream, 1, TyxPgfFields)) return 0;
  if ((format->setMask & kFontBit) != 0) {
    if (!put(stream, "\t<PgfFont\n")) return 0;
    if (!TyxFieldsOut(&format->pgfFont, stream, 2, TyxFontFields)) return 0;
    if (!put(stream, "\t>\n")) return 0;
  }
  if ((format->setMask & kNumTabsBit) != 0) {
    if (format->pgfNumTabs == 0) {
      // Written on top of the field statement above: such a format carries
      // the count twice.
      if (!put(stream, "\t<PgfNumTabs 0>\n")) return 0;
    } else if (format->tabStop != nullptr) {
      for (std::size_t i = 0; i < tabCount(format); ++i) {
        if (!put(stream, "\t<TabStop\n")) return 0;
        if (!TyxFieldsOut(&format->tabStop[i], stream, 2, TyxTabStopFields)) return 0;
        if (!put(stream, "\t>\n")) return 0;
      }
    }
  }
  return put(stream, ">\n") ? 1 : 0;
}

// When memory runs out the catalog stays as it was and the answer is null.
// (The program's new-handler ends the run before that: only a writer used
// without it sees the null.)
const char* TyxParaCatalogAdd(const TyxPgf* format, int keepTag) {
  try {
    return catalog.add(format, keepTag != 0).tag.c_str();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

const char* TyxParaCatalogNew(const TyxPgf* format) {
  return TyxParaCatalogAdd(format, 1);
}

const char* TyxParaCatalogLookup(const TyxPgf* format) {
  const char* tag = nullptr;
  try {
    // The first entry, newest first, that serves the format.
    if (TyxCatalogEntry* entry = catalog.findRepeated(format)) {
      entry->used = true;
      return entry->tag.c_str();
    }
    tag = catalog.add(format, false).tag.c_str();
  } catch (const std::bad_alloc&) {
    // As when no entry could be made: the newest existing entry stands in.
  }
  catalog.markNewestUsed();
  return tag != nullptr ? tag : "memory full";
}

int TyxParaCatalogOut(std::FILE* stream) {
  if (!put(stream, "<ParaCatalog\n")) return 0;
  if (!catalog.out(stream)) return 0;
  return put(stream, "> # End ParaCatalog\n") ? 1 : 0;
}

}  // namespace vantrove
