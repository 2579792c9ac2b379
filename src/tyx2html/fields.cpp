// The reader's vocabulary: the keywords it knows, the values of dimensions,
// numbers and names, and what each field statement sets in the paragraph
// catalog, the fonts, the document and the page settings.
#include "tyx2html/reader.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace tyx2html {

// ---------------------------------------------------------------- dimensions

bool parseDimension(std::string_view text, double* points) {
  double value = 0;
  const char* first = text.data();
  const char* last = first + text.size();
  if (first != last && *first == '+') ++first;
  const auto [rest, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || !(value > -1e7 && value < 1e7)) return false;
  struct Unit {
    std::string_view suffix;
    double factor;
  };
  static constexpr Unit kUnits[] = {
      {"", 1},           {"pt", 1},    {"\"", 72}, {"in", 72},     {"cm", 72 / 2.54},
      {"mm", 72 / 25.4}, {"pica", 12}, {"pc", 12}, {"dd", 1.0657}, {"cc", 12 * 1.0657},
  };
  const std::string_view suffix(rest, static_cast<std::size_t>(last - rest));
  for (const Unit& unit : kUnits) {
    if (suffix == unit.suffix) {
      *points = value * unit.factor;
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------- keywords

namespace {

template <typename K>
struct Keyword {
  std::string_view name;
  K key;
};

template <typename K, std::size_t N>
constexpr bool sortedByName(const Keyword<K> (&table)[N]) {
  for (std::size_t i = 1; i < N; ++i) {
    if (!(table[i - 1].name < table[i].name)) return false;
  }
  return true;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// A value name among `names`; its index, or -1.
template <std::size_t N>
int nameIndex(std::string_view text, const std::string_view (&names)[N]) {
  for (std::size_t i = 0; i < N; ++i) {
    if (text == names[i]) return static_cast<int>(i);
  }
  for (std::size_t i = 0; i < N; ++i) {
    if (equalsIgnoringCase(text, names[i])) return static_cast<int>(i);
  }
  return -1;
}

constexpr std::string_view kYesNo[] = {"No", "Yes"};
constexpr std::string_view kAlignNames[] = {"Left", "Center", "Right", "LeftRight"};
constexpr std::string_view kPlacementNames[] = {"Anywhere", "ColumnTop", "PageTop", "LPageTop",
                                                "RPageTop"};
constexpr std::string_view kTabTypeNames[] = {"Left", "Center", "Right", "Decimal"};
constexpr std::string_view kPageTypeNames[] = {"MasterPage",      "BodyPage",
                                               "ReferencePage",   "LeftMasterPage",
                                               "RightMasterPage", "OtherMasterPage"};

}  // namespace

bool parseLong(std::string_view text, long* out) {
  const auto [rest, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return ec == std::errc() && rest == text.data() + text.size();
}

Reader::Key Reader::lookup(std::string_view keyword) {
  using K = Key;
  static constexpr Keyword<K> kKeys[] = {
      {"AFrame", K::AFrame},
      {"Char", K::Char},
      {"DAutoChBars", K::DOther},
      {"DBordersOn", K::DOther},
      {"DChBarPosition", K::DOther},
      {"DColumnGap", K::DOther},
      {"DColumns", K::DOther},
      {"DDelEmptyPages", K::DOther},
      {"DEvenPageCount", K::DOther},
      {"DFNoteAnchorPos", K::DOther},
      {"DFNoteAnchorPrefix", K::DOther},
      {"DFNoteAnchorSuffix", K::DOther},
      {"DFNoteFontTag", K::DOther},
      {"DFNoteLabels", K::DOther},
      {"DFNoteMaxH", K::DOther},
      {"DFNoteNumStyle", K::DOther},
      {"DFNoteNumberPos", K::DOther},
      {"DFNoteNumberPrefix", K::DOther},
      {"DFNoteNumberSuffix", K::DOther},
      {"DFNotePgfTag", K::DOther},
      {"DFNoteRestart", K::DOther},
      {"DFNoteSeparator", K::DOther},
      {"DFNoteTag", K::DOther},
      {"DFootOnFirst", K::DOther},
      {"DHeadOnFirst", K::DOther},
      {"DLinebreakChars", K::DOther},
      {"DMargins", K::DMargins},
      {"DPageNumStyle", K::DOther},
      {"DPageSize", K::DPageSize},
      {"DParity", K::DOther},
      {"DRelativeTabs", K::DOther},
      {"DStartPage", K::DOther},
      {"DTwoSides", K::DOther},
      {"Document", K::Document},
      {"FAngle", K::FOther},
      {"FBold", K::FBold},
      {"FChangeBar", K::FChangeBar},
      {"FDW", K::FOther},
      {"FDX", K::FOther},
      {"FDY", K::FDY},
      {"FDoubleUnderline", K::FDoubleUnderline},
      {"FFamily", K::FFamily},
      {"FItalic", K::FItalic},
      {"FLocked", K::FOther},
      {"FNote", K::FNote},
      {"FOutline", K::FOther},
      {"FOverline", K::FOverline},
      {"FPairKern", K::FOther},
      {"FPlain", K::FPlain},
      {"FSeparation", K::FOther},
      {"FShadow", K::FOther},
      {"FSize", K::FSize},
      {"FSmallCaps", K::FOther},
      {"FStrike", K::FStrike},
      {"FSubScript", K::FSubScript},
      {"FSupScript", K::FSupScript},
      {"FTag", K::FOther},
      {"FUnderline", K::FUnderline},
      {"FVar", K::FOther},
      {"FWeight", K::FOther},
      {"Font", K::Font},
      {"FooterC", K::FooterC},
      {"FooterL", K::FooterL},
      {"FooterR", K::FooterR},
      {"HFMargins", K::HFMargins},
      {"HeaderC", K::HeaderC},
      {"HeaderL", K::HeaderL},
      {"HeaderR", K::HeaderR},
      {"HyphenMaxLines", K::PgfOther},
      {"ID", K::ID},
      {"MCurrPage", K::MOther},
      {"MStyle", K::MOther},
      {"MText", K::MText},
      {"MType", K::MType},
      {"Marker", K::Marker},
      {"Notes", K::Notes},
      {"Page", K::Page},
      {"PageBackground", K::PageOther},
      {"PageNum", K::PageOther},
      {"PageOrientation", K::PageOther},
      {"PageTag", K::PageOther},
      {"PageType", K::PageType},
      {"Para", K::Para},
      {"ParaCatalog", K::ParaCatalog},
      {"ParaLine", K::ParaLine},
      {"Pgf", K::Pgf},
      {"PgfAlignment", K::PgfAlignment},
      {"PgfAutoNum", K::PgfOther},
      {"PgfBlockSize", K::PgfOther},
      {"PgfBotSeparator", K::PgfOther},
      {"PgfFIndent", K::PgfFIndent},
      {"PgfFont", K::PgfFont},
      {"PgfHyphenate", K::PgfOther},
      {"PgfLIndent", K::PgfLIndent},
      {"PgfLeading", K::PgfLeading},
      {"PgfLineSpacing", K::PgfOther},
      {"PgfNextTag", K::PgfOther},
      {"PgfNumFormat", K::PgfOther},
      {"PgfNumString", K::PgfOther},
      {"PgfNumTabs", K::PgfNumTabs},
      {"PgfPlacement", K::PgfPlacement},
      {"PgfRIndent", K::PgfRIndent},
      {"PgfSpAfter", K::PgfSpAfter},
      {"PgfSpBefore", K::PgfSpBefore},
      {"PgfTag", K::PgfTag},
      {"PgfTopSeparator", K::PgfOther},
      {"PgfUseNextTag", K::PgfOther},
      {"PgfWithNext", K::PgfOther},
      {"String", K::String},
      {"TFAutoConnect", K::TFOther},
      {"TFLineSpacing", K::TFOther},
      {"TFPostScript", K::TFOther},
      {"TFSynchronized", K::TFOther},
      {"TFTag", K::TFOther},
      {"TSDecimalChar", K::TSDecimalChar},
      {"TSLeader", K::TSLeader},
      {"TSType", K::TSType},
      {"TSX", K::TSX},
      {"TYXFile", K::TYXFile},
      {"TabStop", K::TabStop},
      {"TextFlow", K::TextFlow},
      {"TextRect", K::TextRect},
      {"TextRectID", K::TFOther},
      {"VarRef", K::VarRef},
  };
  static_assert(sortedByName(kKeys));
  // The body repeats a few keywords: a small cache in front of the search.
  static std::array<const Keyword<K>*, 64> cache{};
  if (keyword.empty()) return K::None;
  const std::size_t slot = (static_cast<unsigned char>(keyword[0]) * 7u + keyword.size() * 13u +
                            static_cast<unsigned char>(keyword.back())) %
                           cache.size();
  if (const Keyword<K>* hit = cache[slot];
      hit != nullptr && hit->name.size() == keyword.size() &&
      std::equal(keyword.begin(), keyword.end(), hit->name.begin())) {
    return hit->key;
  }
  const auto* found = std::lower_bound(
      std::begin(kKeys), std::end(kKeys), keyword,
      [](const Keyword<K>& entry, std::string_view name) { return entry.name < name; });
  if (found == std::end(kKeys) || found->name != keyword) return K::None;
  cache[slot] = found;
  return found->key;
}

void Reader::applyFontField(Font& font, Key key, long line) {
  const std::string_view first = valueCount_ > 0 ? std::string_view(values_[0]) : "";
  auto flag = [&](FontFlag which) {
    const int value = nameIndex(first, kYesNo);
    if (value < 0) {
      warn(line, "not Yes or No: " + std::string(first.substr(0, 40)));
      return;
    }
    font.named |= flagBit(which);
    if (value)
      font.on |= flagBit(which);
    else
      font.on &= static_cast<std::uint16_t>(~flagBit(which));
  };
  switch (key) {
    case Key::FFamily:
      font.hasFamily = true;
      font.family.assign(first.substr(0, 200));
      break;
    case Key::FSize:
      if (double size = 0; parseDimension(first, &size) && size > 0) {
        font.hasSize = true;
        font.size = std::min(size, 1000.0);
      } else {
        warn(line, "not a font size: " + std::string(first.substr(0, 40)));
      }
      break;
    case Key::FDY:
      if (double offset = 0; parseDimension(first, &offset)) {
        font.hasOffset = true;
        font.offset = std::clamp(offset, -1000.0, 1000.0);
      } else {
        warn(line, "not a dimension: " + std::string(first.substr(0, 40)));
      }
      break;
    case Key::FUnderline:
      if (equalsIgnoringCase(first, "Double")) {
        font.named |= flagBit(FontFlag::Underline) | flagBit(FontFlag::DoubleUnderline);
        font.on |= flagBit(FontFlag::DoubleUnderline);
        font.on &= static_cast<std::uint16_t>(~flagBit(FontFlag::Underline));
      } else {
        flag(FontFlag::Underline);
      }
      break;
    case Key::FPlain:
      flag(FontFlag::Plain);
      break;
    case Key::FBold:
      flag(FontFlag::Bold);
      break;
    case Key::FItalic:
      flag(FontFlag::Italic);
      break;
    case Key::FDoubleUnderline:
      flag(FontFlag::DoubleUnderline);
      break;
    case Key::FStrike:
      flag(FontFlag::Strike);
      break;
    case Key::FOverline:
      flag(FontFlag::Overline);
      break;
    case Key::FSupScript:
      flag(FontFlag::SupScript);
      break;
    case Key::FSubScript:
      flag(FontFlag::SubScript);
      break;
    case Key::FChangeBar:
      flag(FontFlag::ChangeBar);
      break;
    default:
      break;
  }
}

void Reader::applyField(Ctx owner, Key key, long line) {
  const std::string_view first = valueCount_ > 0 ? std::string_view(values_[0]) : "";
  auto dimensions = [&](double* out, std::size_t count) {
    if (valueCount_ < count) {
      warn(line, "too few values");
      return false;
    }
    double parsed[4] = {};
    for (std::size_t i = 0; i < count; ++i) {
      if (!parseDimension(values_[i], &parsed[i])) {
        warn(line, "not a dimension: " + values_[i].substr(0, 40));
        return false;
      }
    }
    std::copy(parsed, parsed + count, out);
    return true;
  };
  auto enumeration = [&](const auto& names) {
    const int value = nameIndex(first, names);
    if (value < 0) warn(line, "unknown value: " + std::string(first.substr(0, 40)));
    return value;
  };
  switch (owner) {
    case Ctx::Top:
      if (key == Key::TYXFile && first != "2.00") {
        warn(line, "Tyx version " + std::string(first.substr(0, 20)) + ", not 2.00");
      }
      break;
    case Ctx::Pgf:
      switch (key) {
        case Key::PgfTag:
          pgf_.tag.assign(first.substr(0, 200));
          break;
        case Key::PgfLIndent:
          dimensions(&pgf_.leftIndent, 1);
          break;
        case Key::PgfFIndent:
          dimensions(&pgf_.firstIndent, 1);
          break;
        case Key::PgfRIndent:
          dimensions(&pgf_.rightIndent, 1);
          break;
        case Key::PgfSpBefore:
          dimensions(&pgf_.spaceBefore, 1);
          break;
        case Key::PgfSpAfter:
          dimensions(&pgf_.spaceAfter, 1);
          break;
        case Key::PgfLeading:
          pgf_.hasLeading = dimensions(&pgf_.leading, 1);
          break;
        case Key::PgfAlignment:
          if (int value = enumeration(kAlignNames); value >= 0) {
            pgf_.align = static_cast<Align>(value);
          }
          break;
        case Key::PgfPlacement:
          if (int value = enumeration(kPlacementNames); value >= 0) pgf_.pageBreak = value > 0;
          break;
        default:
          break;
      }
      break;
    case Ctx::PgfFont:
    case Ctx::Font:
      applyFontField(font_, key, line);
      break;
    case Ctx::TabStop:
      switch (key) {
        case Key::TSX:
          dimensions(&tab_.x, 1);
          break;
        case Key::TSType:
          if (int value = enumeration(kTabTypeNames); value >= 0) {
            tab_.type = static_cast<TabType>(value);
          }
          break;
        case Key::TSLeader:
        case Key::TSDecimalChar:
          if (long code = 0; parseLong(first, &code) && code > 0 && code < 256) {
            (key == Key::TSLeader ? tab_.leader : tab_.decimalChar) = static_cast<int>(code);
          } else {
            warn(line, "not a character code: " + std::string(first.substr(0, 40)));
          }
          break;
        default:
          break;
      }
      break;
    case Ctx::Document:
      if (key == Key::DMargins) {
        dimensions(document_.margins.data(), 4);
      } else if (key == Key::DPageSize) {
        double size[2];
        if (dimensions(size, 2) && size[0] > 0 && size[1] > 0) {
          document_.width = std::min(size[0], 14400.0);
          document_.height = std::min(size[1], 14400.0);
        }
      }
      break;
    case Ctx::Page:
      switch (key) {
        case Key::PageType:
          enumeration(kPageTypeNames);
          break;
        case Key::HeaderL:
        case Key::HeaderC:
        case Key::HeaderR:
          page_.header[static_cast<std::size_t>(key) - static_cast<std::size_t>(Key::HeaderL)] =
              first.substr(0, 1000);
          page_.hasHeaderFooter = true;
          break;
        case Key::FooterL:
        case Key::FooterC:
        case Key::FooterR:
          page_.footer[static_cast<std::size_t>(key) - static_cast<std::size_t>(Key::FooterL)] =
              first.substr(0, 1000);
          page_.hasHeaderFooter = true;
          break;
        case Key::HFMargins:
          page_.hasHfMargins = dimensions(page_.hfMargins.data(), 4);
          break;
        default:
          break;
      }
      break;
    case Ctx::Note:
      if (long id = 0; key == Key::ID && !noteBegun_ && parseLong(first, &id)) {
        noteId_ = id;
        noteBegun_ = true;
        push(EventKind::NoteBegin, line);
        events_[(tail_ - 1) % events_.size()].number = id;
      } else {
        warn(line, "<ID> is not a footnote number or comes late");
      }
      break;
    case Ctx::Para:
      paraFormat_ = formatFor(first, line);
      break;
    case Ctx::Marker:
      if (key == Key::MType) {
        long type = 0;
        if (parseLong(first, &type))
          markerType_ = type;
        else
          warn(line, "not a marker type: " + std::string(first.substr(0, 40)));
      } else if (key == Key::MText) {
        markerText_.assign(first);
      }
      break;
    default:
      break;
  }
}

}  // namespace tyx2html
