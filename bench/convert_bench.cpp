// Whole-program benchmark: generates DCA documents of 1, 10 and 100 MB of
// realistic body text (paragraphs, line ends, tabs, font changes, footnotes)
// and a hostile one (a first line of 1 MB without a line end, then more text),
// converts each with the vantrove binary and prints throughput and peak
// memory, next to iconv converting the same body text from code page 037.
// Then tyx2html shows each converted Tyx file as a page: its throughput (Tyx
// megabytes a second) and peak memory, which should not grow with the size.
// Last, two ratios, each the best of three alternating rounds: vantrove on the
// 100 MB document against iconv on that same file, and vantrove against cat on
// 2,000 documents of 2 to 8 KB, one process each. It measures; it asserts
// nothing.
//
//   convert_bench [vantrove [font map folder [tyx2html]]]
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

// Body text of about `target` bytes; also collects the graphic text for iconv.
struct Generated {
  Bytes document;
  Bytes plain;  // the EBCDIC text bytes alone
};

Generated generate(std::size_t target, bool hostile) {
  std::mt19937 random(12345);
  Bytes units;
  Bytes plain;
  int unitNumber = 1;
  int footnote = 0;
  Bytes field;
  std::size_t produced = 0;

  // Appends in place: the document grows to 100 MB.
  auto append = [&](const Bytes& more) { units.insert(units.end(), more.begin(), more.end()); };
  auto flushField = [&](Bytes& text) {
    if (text.empty()) return;
    append(dca::bodyText(text));
    text.clear();
  };
  auto startUnit = [&] {
    char name[16];
    std::snprintf(name, sizeof name, "%06d", unitNumber++);
    append(dca::textUnitName(name));
  };
  auto word = [&]() -> Bytes {
    Bytes w = dca::ebc(kWords[random() % (sizeof kWords / sizeof kWords[0])]);
    plain.insert(plain.end(), w.begin(), w.end());
    return w;
  };

  startUnit();
  if (hostile) {
    // One first line of 1 MB: words and blanks, no line end, across many fields.
    std::size_t line = 0;
    while (line < (1u << 20)) {
      Bytes w = word();
      w.push_back(dca::ctl::SP);
      line += w.size();
      field.insert(field.end(), w.begin(), w.end());
      if (field.size() > 60000) flushField(field);
    }
    field.push_back(dca::ctl::RCR);
    produced += line;
  }
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
    bool withNote = random() % 10 == 0;
    if (withNote) {
      ++footnote;  // the converter counts both the reference and the footnote unit
      char name[16];
      std::snprintf(name, sizeof name, "9%05d", footnote);
      para = para + dca::noteReference(name) + dca::noteEcho(2 * footnote - 1);
    }
    para.push_back(dca::ctl::RCR);
    if (field.size() + para.size() > 60000) flushField(field);
    field.insert(field.end(), para.begin(), para.end());
    produced += para.size();
    if (withNote) {
      flushField(field);
      char name[16];
      std::snprintf(name, sizeof name, "9%05d", footnote);
      append(dca::textUnit(name, word() + dca::ebc(" ") + word() + Bytes{dca::ctl::RCR}));
      startUnit();
    }
  }
  flushField(field);
  Bytes document = dca::standardFormat();
  document.insert(document.end(), units.begin(), units.end());
  Bytes end = dca::endUnit();
  document.insert(document.end(), end.begin(), end.end());
  return {std::move(document), plain};
}

void writeFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
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
  std::string program = argc > 1 ? argv[1] : VANTROVE_BIN;
  fs::path work = fs::temp_directory_path() / ("vantrove-bench." + std::to_string(getpid()));
  fs::create_directories(work);
  // A KZHOME whose kzinit/filters holds dca.am: the one given, else the
  // shipped map copied into the work folder.
  std::string mapDir = argc > 2 ? argv[2] : (work / "kz").string();
  if (argc <= 2) {
    fs::create_directories(work / "kz/kzinit/filters");
    fs::copy_file(VANTROVE_SOURCE_DIR "/data/dca.am", work / "kz/kzinit/filters/dca.am");
  }
  std::string kzhome = "KZHOME=" + mapDir;

  struct Case {
    const char* name;
    std::size_t bytes;
    bool hostile;
  };
  const Case cases[] = {{"1MB", 1u << 20, false},
                        {"10MB", 10u << 20, false},
                        {"100MB", 100u << 20, false},
                        {"hostile", 4u << 20, true}};
  // Write every document first and let go of the memory: a child forked from
  // a process holding 100 MB would report that as its own peak.
  struct Files {
    fs::path input, text;
    double mb, textMb;
  };
  std::vector<Files> files;
  for (const Case& c : cases) {
    Generated g = generate(c.bytes, c.hostile);
    Files f{work / (std::string(c.name) + ".dca"), work / (std::string(c.name) + ".txt"),
            static_cast<double>(g.document.size()) / (1 << 20),
            static_cast<double>(g.plain.size()) / (1 << 20)};
    writeFile(f.input, g.document);
    writeFile(f.text, g.plain);
    files.push_back(f);
  }
  const std::string tyx2html = argc > 3 ? argv[3] : TYX2HTML_BIN;
  std::printf("%-10s %8s %14s %10s %12s %10s %10s %8s %10s %10s %10s %10s\n", "document", "MB",
              "vantrove MB/s", "peak KiB", "iconv MB/s", "iconv KiB", "s per MB", "Tyx MB",
              "vantrove s", "tyx2html s", "Tyx MB/s", "peak KiB");
  for (std::size_t i = 0; i < files.size(); ++i) {
    const Files& f = files[i];
    std::fflush(stdout);
    Measure convert = runTimed({program}, f.input.string(), "/dev/null", {kzhome});
    Measure iconv =
        runTimed({"iconv", "-f", "CP037", "-t", "ISO-8859-1"}, f.text.string(), "/dev/null");
    if (convert.seconds < 0 || iconv.seconds < 0) {
      fs::remove_all(work);
      return 1;
    }
    // The Tyx file itself, for tyx2html to show.
    const fs::path tyx = work / (std::string(cases[i].name) + ".tyx");
    runTimed({program}, f.input.string(), tyx.string(), {kzhome});
    const double tyxMb = static_cast<double>(fs::file_size(tyx)) / (1 << 20);
    Measure html = runTimed({tyx2html}, tyx.string(), "/dev/null");
    if (html.seconds < 0) {
      fs::remove_all(work);
      return 1;
    }
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
  std::size_t smallBytes = 0;
  for (int i = 0; i < 2000; ++i) {
    const Bytes document = generate(1536 + sizes() % 6144, false).document;
    small.push_back(work / "small" / (std::to_string(i) + ".dca"));
    writeFile(small.back(), document);
    smallBytes += document.size();
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

  // VANTROVE_BENCH_KEEP=1 keeps the generated documents for profiling.
  if (std::getenv("VANTROVE_BENCH_KEEP"))
    std::printf("documents kept in %s\n", work.c_str());
  else
    fs::remove_all(work);
  return 0;
}
