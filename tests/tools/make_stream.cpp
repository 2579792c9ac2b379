// Writes large generated DCA documents to the standard output, a field at a
// time, for tests that need more input than they should keep on disk.
//
//   make_stream huge MIB   a document of more than MIB MiB whose body text is
//                          almost all NULs (written as nothing), ending in a
//                          paragraph "END" preceded by the unknown control 0x01;
//                          the offset of that control goes to standard error
//   make_stream line MIB   a document whose one paragraph has a first line of
//                          MIB MiB with no line end
//   make_stream text MIB   MIB MiB of text in lines of 64 letters
//   make_stream formats MIB  MIB MiB of one-line paragraphs, each in a
//                          paragraph format of its own
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/dca_builder.h"

using dca::operator+;

namespace {

std::uint64_t written = 0;

void put(const dca::Bytes& bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size()) std::exit(2);
  written += bytes.size();
}

// The largest body text field: a 16-bit length covers the introducer too.
constexpr std::size_t kMaxBody = 0xFFFF - 5;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: make_stream huge|line|text MIB\n", stderr);
    return 2;
  }
  const std::uint64_t target = std::strtoull(argv[2], nullptr, 10) << 20;
  const std::string kind = argv[1];
  if (kind == "formats") {
    put(dca::standardFormat());
    for (unsigned i = 0; written < target; ++i) {
      dca::Line line;
      line.left = static_cast<std::uint16_t>(1440 + i % 2000);
      line.right = static_cast<std::uint16_t>(10800 - i / 2000);
      put(dca::textUnit("000001", dca::ebc("Text") + dca::raw({dca::ctl::CRE}),
                        dca::formatChange(dca::lineParams(line))));
    }
    put(dca::endUnit());
    return std::fflush(stdout) == 0 ? 0 : 2;
  }
  put(dca::standardFormat() + dca::textUnitName("000001"));
  dca::Bytes chunk(kMaxBody, kind == "huge" ? dca::ctl::NUL : 0xC1);
  // In the huge document each field starts a paragraph of its own, so nothing
  // is held back while its NULs are read.
  if (kind == "huge") chunk[0] = dca::ctl::CRE;
  if (kind == "text") {
    for (std::size_t i = 64; i < chunk.size(); i += 65) chunk[i] = dca::ctl::CRE;
  }
  const dca::Bytes field = dca::bodyText(chunk);
  while (written < target) put(field);
  if (kind == "huge") {
    const dca::Bytes tail = dca::raw({0x01}) + dca::ebc("END") + dca::raw({dca::ctl::CRE});
    // The control's offset: past this field's introducer.
    std::fprintf(stderr, "%llu\n", static_cast<unsigned long long>(written + 5));
    put(dca::bodyText(tail));
  }
  put(dca::endUnit());
  return std::fflush(stdout) == 0 ? 0 : 2;
}
