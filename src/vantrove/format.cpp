#include "vantrove/format.h"

#include <deque>
#include <memory>
#include <string>

namespace vantrove {

KRGlobalRecord KRGlobal{};
KRFormat KRPrimaryFormat{};
KRFormat KRAlternateFormat{};
KRFormat KRCurrentFormat{};

namespace {

// Strings and tab stop arrays that format records point to. Records are copied
// freely, so these live for the whole run (until KRFormatReset).
struct FormatState {
  std::deque<std::string> strings;
  std::deque<std::unique_ptr<TyxTabStop[]>> tabStops;
};
FormatState formats;

}  // namespace

const char* KRKeepString(std::string_view text) {
  return formats.strings.emplace_back(text).c_str();
}

TyxTabStop* KRNewTabStops(std::size_t count) {
  return formats.tabStops.emplace_back(std::make_unique<TyxTabStop[]>(count)).get();
}

void KRFormatReset() {
  KRGlobal = KRGlobalRecord{};
  KRPrimaryFormat = KRFormat{};
  KRAlternateFormat = KRFormat{};
  KRCurrentFormat = KRFormat{};
  formats = FormatState{};
}

}  // namespace vantrove
