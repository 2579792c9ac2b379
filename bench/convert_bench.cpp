// Whole-program benchmark: generates DCA documents of 1, 10 and 100 MB of
// realistic body text (paragraphs, line ends, tabs, font changes, footnotes),
// converts each with the vantrove binary and prints throughput and peak
// memory, next to iconv converting the same body text from code page 037.
// Then tyx2html shows each converted Tyx file as a page: its throughput (Tyx
// megabytes a second) and peak memory, which should not grow with the size.
// Last, two ratios, each the best of three alternating rounds: vantrove on the
// 100 MB document against iconv on that same file, and vantrove against cat on
// 2,000 documents of 2 to 8 KB, one process each. With VANTROVE_BENCH_1GB=1 it
// first converts a 1 GB document, written straight to disk once the free
// space it needs is there. With --linear it converts hostile documents
// instead, each at 4 and 16 MB, and prints the seconds per MB at both sizes.
// It measures; it asserts nothing.
//
//   convert_bench [--linear] [vantrove [font map folder [tyx2html]]]
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/dca_builder.h"

namespace {

namespace fs = std::filesystem;
using dca::Bytes;
using dca::operator+;

struct Measure {
  double seconds;
  long peakKiB;
};

// Runs a program with stdin and stdout redirected; wall time and peak RSS.
Measure runDirect(const std::vector<std::string>& argv, const std::string& in,
                  const std::string& out, const std::vector<std::string>& env) {
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    if (!freopen(in.c_str(), "r", stdin) || !freopen(out.c_str(), "w", stdout)) _exit(127);
    for (const auto& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    // A failed conversion measures nothing worth printing.
    std::fprintf(stderr, "%s exited with status %d\n", argv[0].c_str(),
                 WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return {-1, -1};
  }
  return {seconds, usage.ru_maxrss};
}

std::string self;

// A child forked from this process would count the generator's pages as its
// own peak, so the measurement runs in a fresh copy of this program
// ("--measure in out env... -- argv...") that reports on a pipe.
Measure runTimed(const std::vector<std::string>& argv, const std::string& in,
                 const std::string& out, const std::vector<std::string>& env = {}) {
  int fds[2];
  if (pipe(fds) != 0) std::abort();
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    std::vector<std::string> words = {self, "--measure", in, out};
    for (const auto& e : env) words.push_back(e);
    words.push_back("--");
    for (const auto& a : argv) words.push_back(a);
    std::vector<char*> args;
    for (auto& w : words) args.push_back(w.data());
    args.push_back(nullptr);
    execv(self.c_str(), args.data());
    _exit(127);
  }
  close(fds[1]);
  char text[128] = {};
  ssize_t n = read(fds[0], text, sizeof text - 1);
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  Measure m{0, 0};
  if (n > 0) std::sscanf(text, "%lf %ld", &m.seconds, &m.peakKiB);
  return m;
}

const char* const kWords[] = {"the",     "archive",  "document", "letter",  "report",   "quarterly",
                              "figures", "shipment", "customer", "invoice", "meeting",  "agenda",
                              "minutes", "revision", "approved", "pending", "schedule", "budget",
                              "a",       "of",       "and",      "to",      "in",       "for",
                              "with",    "résumé",   "naïve",    "café"};

// A document's file, written as it is generated: the 1 GB one is never held
// in memory.
struct Sink {
  std::ofstream file;
  std::uint64_t bytes = 0;
  void put(const Bytes& more) {
    file.write(reinterpret_cast<const char*>(more.data()),
               static_cast<std::streamsize>(more.size()));
    bytes += more.size();
  }
};

// What a document holds besides realistic paragraphs.
struct Shape {
  bool line = false;       // first, one line of the whole size without a line end
  bool pushBacks = false;  // in that line, controls whose bytes are read again
  bool formats = false;    // each paragraph in a text unit with a format of its own
  unsigned notes = 10;     // a footnote after one paragraph in this many
};

// Writes a document of about `target` bytes of body text to `path`, and its
// graphic text (the EBCDIC bytes alone, for iconv) to `textPath` when one is
// given; returns the document's size in MB.
double generate(const fs::path& path, std::uint64_t target, const Shape& shape = {},
                const fs::path& textPath = {}) {
  std::mt19937 random(12345);
  Sink document{std::ofstream(path, std::ios::binary)};
  Sink text{std::ofstream(textPath, std::ios::binary)};
  int unitNumber = 1;
  int footnote = 0;
  Bytes field;
  std::uint64_t produced = 0;

  auto flushField = [&] {
    if (!field.empty()) document.put(dca::bodyText(field));
    field.clear();
  };
  auto startUnit = [&] {
    char name[16];
    std::snprintf(name, sizeof name, "%06d", unitNumber);
    document.put(dca::textUnitName(name));
    if (shape.formats) {
      // Margins and a tab stop no unit before had: one more catalog entry.
      dca::Line line;
      line.left = static_cast<std::uint16_t>(1440 + unitNumber % 500 * 10);
      line.right = static_cast<std::uint16_t>(10800 - unitNumber / 500 * 10);
      const auto stop = static_cast<std::uint16_t>(2880 + unitNumber % 7 * 144);
      document.put(dca::formatChange(dca::lineParams(line) + dca::tabParams(1, dca::tab(1, stop))));
    }
    ++unitNumber;
  };
  auto word = [&]() -> Bytes {
    Bytes w = dca::ebc(kWords[random() % std::size(kWords)]);
    text.put(w);
    return w;
  };

  document.put(dca::standardFormat());
  startUnit();
  // The line: words and blanks across many fields. The converter keeps a
  // paragraph's first line and reads it again; escaped graphics and note
  // references without their echo push their bytes back once more.
  while (shape.line && produced < target) {
    Bytes w = word();
    if (shape.pushBacks)
      w = w + (random() % 2 ? dca::escapedGraphic(0xC1) : dca::noteReference("900001"));
    w.push_back(dca::ctl::SP);
    produced += w.size();
    field.insert(field.end(), w.begin(), w.end());
    if (field.size() > 60000) flushField();
  }
  if (shape.line) field.push_back(dca::ctl::RCR);
  while (produced < target) {
    // One paragraph: a leading tab now and then, lines of about 70 characters
    // ended by carrier returns, a font change or emphasis, sometimes a footnote.
    Bytes para;
    if (random() % 4 == 0) para.push_back(dca::ctl::HT);
    int lines = 3 + random() % 6;
    for (int l = 0; l < lines; ++l) {
      std::size_t width = 0;
      while (width < 70) {
        switch (random() % 40) {
          case 0:
            para = para + dca::beginEmphasis();
            break;
          case 1:
            para = para + dca::endEmphasis();
            break;
          case 2:
            para = para + dca::setGfid(random() % 2 ? 85 : 11);
            break;
          case 3:
            para.push_back(dca::ctl::HT);
            break;
          default:
            break;
        }
        Bytes w = word();
        para.insert(para.end(), w.begin(), w.end());
        width += w.size() + 1;
        para.push_back(dca::ctl::SP);
      }
      para.push_back(dca::ctl::CRE);
    }
    const bool withNote = random() % shape.notes == 0;
    char name[16];
    if (withNote) {
      ++footnote;  // the converter counts both the reference and the footnote unit
      std::snprintf(name, sizeof name, "9%05d", footnote % 100000);
      para = para + dca::noteReference(name) + dca::noteEcho(2 * footnote - 1);
    }
    para.push_back(dca::ctl::RCR);
    if (field.size() + para.size() > 60000) flushField();
    field.insert(field.end(), para.begin(), para.end());
    produced += para.size();
    if (withNote || shape.formats) {
      flushField();
      if (withNote)
        document.put(dca::textUnit(name, word() + dca::ebc(" ") + word() + Bytes{dca::ctl::RCR}));
      startUnit();
    }
  }
  flushField();
  document.put(dca::endUnit());
  return static_cast<double>(document.bytes) / (1 << 20);
}

std::string program, kzhome;
fs::path work;

// Hostile documents, each at 4 and 16 MB: seconds per MB (best of three runs)
// and peak memory at both sizes, and the ratio of the seconds per MB, near 1
// when the time is linear.
int linearBench() {
  const struct {
    const char* name;
    Shape shape;
  } kinds[] = {{"formats", {.formats = true}},
               {"first-line", {.line = true}},
               {"push-backs", {.line = true, .pushBacks = true}},
               {"footnotes", {.notes = 1}}};
  std::printf("%-12s %8s %10s %10s %8s %10s %10s %8s\n", "document", "MB", "s per MB", "peak KiB",
              "MB", "s per MB", "peak KiB", "ratio");
  for (const auto& kind : kinds) {
    std::printf("%-12s", kind.name);
    double perMb[2];
    for (int i = 0; i < 2; ++i) {
      const int size = 4 << (2 * i);
      const fs::path path = work / (kind.name + std::to_string(size) + "MB.dca");
      const double mb = generate(path, std::uint64_t(size) << 20, kind.shape);
      Measure best{1e9, 0};
      for (int round = 0; round < 3; ++round) {
        const Measure m = runTimed({program}, path.string(), "/dev/null", {kzhome});
        if (m.seconds < 0) return 1;
        if (m.seconds < best.seconds) best = m;
      }
      perMb[i] = best.seconds / mb;
      std::printf(" %8.1f %10.4f %10ld", mb, perMb[i], best.peakKiB);
    }
    std::printf(" %8.2f\n", perMb[1] / perMb[0]);
  }
  return 0;
}

// The 1 GB document, converted to /dev/null and removed at once: its file and
// the converter's temporary files (both in TMPDIR, else /tmp) must fit.
int oneGigabyte() {
  constexpr double kGiB = 1 << 30;
  // The document is about 1.01 GiB; the temporary files grow to 2.7 times it.
  const double document = 1.01 * kGiB, temporary = 2.7 * document;
  const double available = static_cast<double>(fs::space(work).available);
  std::printf(
      "1GB document: needs %.1f GiB free in %s (the document %.1f GiB, the converter's "
      "temporary files %.1f GiB; the output goes to /dev/null); %.1f GiB are free\n",
      (document + temporary) / kGiB, work.parent_path().c_str(), document / kGiB, temporary / kGiB,
      available / kGiB);
  if (available < document + temporary) {
    std::fprintf(stderr,
                 "too little free disk for the 1 GB document: set TMPDIR to a folder with more "
                 "room, or leave VANTROVE_BENCH_1GB unset\n");
    return 1;
  }
  const fs::path path = work / "1GB.dca";
  const double mb = generate(path, 1u << 30);
  const Measure m = runTimed({program}, path.string(), "/dev/null", {kzhome});
  fs::remove(path);
  if (m.seconds < 0) return 1;
  std::printf("1GB document: %.1f MB, vantrove %.1f MB/s, %.4f s per MB, peak %ld KiB\n", mb,
              mb / m.seconds, m.seconds / mb, m.peakKiB);
  return 0;
}

int convertBench(const std::string& tyx2html) {
  if (std::getenv("VANTROVE_BENCH_1GB") && oneGigabyte() != 0) return 1;
  struct Case {
    const char* name;
    std::size_t bytes;
  };
  const Case cases[] = {{"1MB", 1u << 20}, {"10MB", 10u << 20}, {"100MB", 100u << 20}};
  // Every document and its text, written once for all the rounds below.
  struct Files {
    fs::path input, text;
    double mb, textMb;
  };
  std::vector<Files> files;
  for (const Case& c : cases) {
    Files f{work / (std::string(c.name) + ".dca"), work / (std::string(c.name) + ".txt"), 0, 0};
    f.mb = generate(f.input, c.bytes, {}, f.text);
    f.textMb = static_cast<double>(fs::file_size(f.text)) / (1 << 20);
    files.push_back(f);
  }
  std::printf("%-10s %8s %14s %10s %12s %10s %10s %8s %10s %10s %10s %10s\n", "document", "MB",
              "vantrove MB/s", "peak KiB", "iconv MB/s", "iconv KiB", "s per MB", "Tyx MB",
              "vantrove s", "tyx2html s", "Tyx MB/s", "peak KiB");
  for (std::size_t i = 0; i < files.size(); ++i) {
    const Files& f = files[i];
    std::fflush(stdout);
    Measure convert = runTimed({program}, f.input.string(), "/dev/null", {kzhome});
    Measure iconv =
        runTimed({"iconv", "-f", "CP037", "-t", "ISO-8859-1"}, f.text.string(), "/dev/null");
    if (convert.seconds < 0 || iconv.seconds < 0) return 1;
    // The Tyx file itself, for tyx2html to show.
    const fs::path tyx = work / (std::string(cases[i].name) + ".tyx");
    runTimed({program}, f.input.string(), tyx.string(), {kzhome});
    const double tyxMb = static_cast<double>(fs::file_size(tyx)) / (1 << 20);
    Measure html = runTimed({tyx2html}, tyx.string(), "/dev/null");
    if (html.seconds < 0) return 1;
    std::printf("%-10s %8.1f %14.1f %10ld %12.1f %10ld %10.4f %8.1f %10.2f %10.2f %10.1f %10ld\n",
                cases[i].name, f.mb, f.mb / convert.seconds, convert.peakKiB,
                f.textMb / iconv.seconds, iconv.peakKiB, convert.seconds / f.mb, tyxMb,
                convert.seconds, html.seconds, tyxMb / html.seconds, html.peakKiB);
    fs::remove(tyx);
  }
  // The ratios the converter is held to, each the best of three rounds that
  // alternate the two commands: the 100 MB document against iconv converting
  // that same file, and small documents one process each against cat.
  const Files& large = files[2];
  double best[2] = {1e9, 1e9};
  for (int round = 0; round < 3; ++round) {
    const Measure convert = runTimed({program}, large.input.string(), "/dev/null", {kzhome});
    const Measure iconv =
        runTimed({"iconv", "-f", "CP037", "-t", "ISO-8859-1"}, large.input.string(), "/dev/null");
    best[0] = std::min(best[0], convert.seconds);
    best[1] = std::min(best[1], iconv.seconds);
  }
  std::printf("100MB document: vantrove %.3f s, iconv on the same file %.3f s, ratio %.2f\n",
              best[0], best[1], best[0] / best[1]);

  // 2,000 documents of 2 to 8 KB.
  std::mt19937 sizes(7);
  std::vector<fs::path> small;
  fs::create_directories(work / "small");
  std::uintmax_t smallBytes = 0;
  for (int i = 0; i < 2000; ++i) {
    small.push_back(work / "small" / (std::to_string(i) + ".dca"));
    generate(small.back(), 1536 + sizes() % 6144);
    smallBytes += fs::file_size(small.back());
  }
  std::fflush(stdout);
  const auto loop = [&](const std::string& command) {
    const auto start = std::chrono::steady_clock::now();
    for (const fs::path& document : small) {
      if (runDirect({command}, document.string(), "/dev/null", {kzhome}).seconds < 0) return -1.0;
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  best[0] = best[1] = 1e9;
  for (int round = 0; round < 3; ++round) {
    best[0] = std::min(best[0], loop(program));
    best[1] = std::min(best[1], loop("cat"));
  }
  std::printf(
      "2000 documents (%.1f KB on average), one process each: vantrove %.2f ms, cat %.2f ms "
      "per document, ratio %.2f\n",
      static_cast<double>(smallBytes) / 2000 / 1024, best[0] / 2, best[1] / 2, best[0] / best[1]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  self = fs::canonical("/proc/self/exe").string();
  if (argc > 4 && std::string(argv[1]) == "--measure") {
    std::vector<std::string> env, command;
    int i = 4;
    for (; i < argc && std::string(argv[i]) != "--"; ++i) env.push_back(argv[i]);
    for (++i; i < argc; ++i) command.push_back(argv[i]);
    Measure m = runDirect(command, argv[2], argv[3], env);
    std::printf("%f %ld\n", m.seconds, m.peakKiB);
    return 0;
  }
  const bool linear = argc > 1 && std::string(argv[1]) == "--linear";
  argc -= linear;
  argv += linear;
  program = argc > 1 ? argv[1] : VANTROVE_BIN;
  work = fs::temp_directory_path() / ("vantrove-bench." + std::to_string(getpid()));
  fs::create_directories(work);
  // A KZHOME whose kzinit/filters holds dca.am: the one given, else the
  // shipped map copied into the work folder.
  kzhome = "KZHOME=" + (argc > 2 ? argv[2] : (work / "kz").string());
  if (argc <= 2) {
    fs::create_directories(work / "kz/kzinit/filters");
    fs::copy_file(VANTROVE_SOURCE_DIR "/data/dca.am", work / "kz/kzinit/filters/dca.am");
  }
  const int status = linear ? linearBench() : convertBench(argc > 3 ? argv[3] : TYX2HTML_BIN);
  // VANTROVE_BENCH_KEEP=1 keeps the generated documents for profiling.
  if (std::getenv("VANTROVE_BENCH_KEEP"))
    std::printf("documents kept in %s\n", work.c_str());
  else
    fs::remove_all(work);
  return status;
}
