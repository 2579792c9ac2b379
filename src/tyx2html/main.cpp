// tyx2html: shows a Tyx file, as vantrove writes it, as one HTML page.
#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "tyx2html/charset.h"
#include "tyx2html/page.h"
#include "tyx2html/reader.h"

namespace {

constexpr const char* kProgram = "tyx2html";
constexpr const char* kVersion = "4.0.1";

int usage() {
  std::fprintf(stderr, "usage:\t%s -V  (prints version)\n", kProgram);
  std::fprintf(stderr, "\t%s -h  (prints usage message)\n", kProgram);
  std::fprintf(stderr, "\t%s [--charset iso-8859-1|cp437|cp850] input_file output_file\n",
               kProgram);
  std::fprintf(stderr, "\t%s [--charset iso-8859-1|cp437|cp850] < input_file > output_file\n",
               kProgram);
  return 1;
}

std::string baseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The page title: the file name, taken as UTF-8 when it is, else byte by byte
// as Latin-1.
std::string titleOf(const std::string& name) {
  std::string title;
  for (std::size_t i = 0; i < name.size();) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    int length = c < 0x80             ? 1
                 : (c & 0xE0) == 0xC0 ? 2
                 : (c & 0xF0) == 0xE0 ? 3
                 : (c & 0xF8) == 0xF0 ? 4
                                      : 0;
    bool valid = length > 0 && i + static_cast<std::size_t>(length) <= name.size();
    for (int k = 1; valid && k < length; ++k) {
      valid = (static_cast<unsigned char>(name[i + static_cast<std::size_t>(k)]) & 0xC0) == 0x80;
    }
    if (valid && c >= 0x20) {
      title.append(name, i, static_cast<std::size_t>(length));
      i += static_cast<std::size_t>(length);
    } else {
      char bytes[4];
      title.append(bytes,
                   static_cast<std::size_t>(tyx2html::encodeUtf8(c < 0x20 ? 0xFFFD : c, bytes)));
      ++i;
    }
  }
  return title;
}

}  // namespace

int main(int argc, char** argv) {
  tyx2html::PageOptions options;
  static const option kLong[] = {{"charset", required_argument, nullptr, 'c'},
                                 {"help", no_argument, nullptr, 'h'},
                                 {"version", no_argument, nullptr, 'V'},
                                 {nullptr, 0, nullptr, 0}};
  opterr = 0;
  int option;
  while ((option = getopt_long(argc, argv, "+Vhc:", kLong, nullptr)) != -1) {
    switch (option) {
      case 'V':
        std::fprintf(stderr, "%s: version %s\n", kProgram, kVersion);
        return 0;
      case 'c':
        if (!tyx2html::charsetByName(optarg, &options.charset)) {
          std::fprintf(stderr, "%s: unknown character set \"%s\" (iso-8859-1, cp437, cp850)\n",
                       kProgram, optarg);
          return 1;
        }
        break;
      default:
        return usage();
    }
  }
  const int operands = argc - optind;
  if (operands > 2) return usage();

  std::FILE* in = stdin;
  std::FILE* out = stdout;
  std::string name = "standard input";
  if (operands >= 1) {
    name = argv[optind];
    in = std::fopen(argv[optind], "rb");
    if (in == nullptr) {
      std::fprintf(stderr, "%s: cannot open %s: %s\n", kProgram, argv[optind],
                   std::strerror(errno));
      return 1;
    }
  }
  if (operands == 2) {
    out = std::fopen(argv[optind + 1], "wb");
    if (out == nullptr) {
      std::fprintf(stderr, "%s: cannot open %s: %s\n", kProgram, argv[optind + 1],
                   std::strerror(errno));
      return 1;
    }
  }
  options.title = titleOf(baseName(name));

  tyx2html::Report report = [](tyx2html::Severity severity, long line, std::string_view message) {
    const char* level = severity == tyx2html::Severity::Warning ? "warning: " : "";
    if (line > 0) {
      std::fprintf(stderr, "%s: line %ld: %s%.*s\n", kProgram, line, level,
                   static_cast<int>(message.size()), message.data());
    } else {
      std::fprintf(stderr, "%s: %s%.*s\n", kProgram, level, static_cast<int>(message.size()),
                   message.data());
    }
  };
  tyx2html::Reader reader(in, report);
  bool written = tyx2html::renderPage(reader, out, options, report);
  if (std::fflush(out) != 0 || std::ferror(out)) written = false;
  if (out != stdout && std::fclose(out) != 0) written = false;
  if (in != stdin) std::fclose(in);
  if (!written) {
    std::fprintf(stderr, "%s: cannot write the page: %s\n", kProgram, std::strerror(errno));
    return 1;
  }
  return reader.errors() > 0 ? 1 : 0;
}
