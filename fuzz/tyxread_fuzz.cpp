// Fuzz target: the Tyx reader and page writer of tyx2html over arbitrary text.
// The first byte chooses the character set; the rest is the Tyx file. Every
// input must give a whole page (it ends with the closing tag) whatever the
// reader made of it, and the reader's events must balance.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tyx2html/page.h"
#include "tyx2html/reader.h"

namespace {

std::FILE* openText(std::vector<char>& text) {
  if (text.empty()) return std::fopen("/dev/null", "r");  // fmemopen refuses an empty buffer
  return fmemopen(text.data(), text.size(), "r");
}

// The events open and close in pairs and the stream ends once.
void checkBalance(std::vector<char>& text) {
  std::FILE* in = openText(text);
  if (in == nullptr) return;
  tyx2html::Reader reader(in, [](tyx2html::Severity, long, std::string_view) {});
  int paragraphs = 0, notes = 0, flows = 0;
  for (;;) {
    const tyx2html::Event& event = reader.next();
    using K = tyx2html::EventKind;
    switch (event.kind) {
      case K::ParaBegin:
        ++paragraphs;
        break;
      case K::ParaEnd:
        --paragraphs;
        break;
      case K::NoteBegin:
        ++notes;
        break;
      case K::NoteEnd:
        --notes;
        break;
      case K::FlowBegin:
        ++flows;
        break;
      case K::FlowEnd:
        --flows;
        break;
      default:
        break;
    }
    if (paragraphs < 0 || paragraphs > 1 || notes < 0 || notes > 1 || flows < 0) std::abort();
    if (event.kind == K::End) break;
  }
  if (paragraphs != 0 || notes != 0 || flows != 0) std::abort();
  if (reader.next().kind != tyx2html::EventKind::End) std::abort();
  std::fclose(in);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  constexpr tyx2html::Charset kSets[] = {tyx2html::Charset::Latin1, tyx2html::Charset::Cp437,
                                         tyx2html::Charset::Cp850};
  tyx2html::PageOptions options;
  options.charset = kSets[data[0] % 3];
  options.title = "fuzz";
  std::vector<char> text(data + 1, data + size);

  checkBalance(text);

  std::FILE* in = openText(text);
  char* page = nullptr;
  std::size_t length = 0;
  std::FILE* out = open_memstream(&page, &length);
  if (in == nullptr || out == nullptr) std::abort();
  const tyx2html::Report ignore = [](tyx2html::Severity, long, std::string_view) {};
  tyx2html::Reader reader(in, ignore);
  if (!tyx2html::renderPage(reader, out, options, ignore)) std::abort();
  std::fclose(out);
  std::fclose(in);
  constexpr std::string_view kEnd = "</html>\n";
  if (std::string_view(page, length).substr(length < kEnd.size() ? 0 : length - kEnd.size()) !=
      kEnd) {
    std::abort();
  }
  std::free(page);
  return 0;
}
