// Running out of memory, made to happen at each allocation of a whole run in
// turn: while the font map loads the parse stops with "Memory is full at line
// %d." and the program with status 1; anywhere else the program writes the
// "Memory is full." diagnostic and a complete fatal-error document, status 0.
// Without the program's new-handler the writer answers a failed allocation as
// its operations say.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>

#include "fontmap/fontmap.h"
#include "support/allocation_limit.h"
#include "support/dca_builder.h"
#include "support/process.h"
#include "support/wellformed.h"
#include "tyxout/tyxout.h"
#include "vantrove/driver.h"
#include "vantrove/io.h"

namespace {

using dca::operator+;

// A small font map: GFID 26 in Courier 12, 11 in Courier 10 and 85 in Times
// 12 bold, each sending the EBCDIC code of every printable ASCII character to
// that character: a few hundred lines, each with allocations of its own.
std::string smallFontMap() {
  std::string map;
  char line[160];
  for (const auto& [gfid, family, size, bold] :
       {std::tuple{26, "Courier", 12, "no"}, {11, "Courier", 10, "no"}, {85, "Times", 12, "yes"}}) {
    std::snprintf(line, sizeof line,
                  "<SrcChar <GFID %d> <Code 0>>\n"
                  "<CorlaChar <FFamily %s> <FSize %d> <FBold %s> <Code 0>>\n",
                  gfid, family, size, bold);
    map += line;
    for (int ascii = 0x20; ascii < 0x7F; ++ascii) {
      const dca::Bytes code = dca::ebc(std::string(1, static_cast<char>(ascii)));
      std::snprintf(line, sizeof line, "<SrcChar <Code 0x%x>> <CorlaChar <Code 0x%x>>\n", code[0],
                    ascii);
      map += line;
    }
  }
  return map;
}

// The line of a "Memory is full at line %d." text, or -1 for any other text.
int memoryFullLine(const std::string& text) {
  int line = -1;
  int end = 0;
  if (std::sscanf(text.c_str(), "Memory is full at line %d.%n", &line, &end) != 1 ||
      static_cast<std::size_t>(end) != text.size()) {
    return -1;
  }
  return line;
}

// ---------------------------------------------------------------- the program

struct ProgramRun {
  int status = -1;
  std::string err;
  std::string out;
  std::string report;  // whether the allocation failed ("1" or "0"), then the font map's error
};

std::string reportPath;

// Runs the whole program on `folder`/in.dca in a child process whose `n`-th
// allocation fails; its font map is `folder`/kzinit/filters/dca.am.
ProgramRun runProgram(const std::string& folder, std::uint64_t n) {
  const std::string in = folder + "/in.dca", out = folder + "/out.tyx", err = folder + "/err";
  reportPath = folder + "/report";
  std::remove(out.c_str());
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    std::freopen(err.c_str(), "w", stderr);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    setenv("KZHOME", folder.c_str(), 1);
    setenv("TMPDIR", vtest::tmpDir().c_str(), 1);
    vantrove::KRSetExitHook([](int status) {
      if (std::FILE* report = std::fopen(reportPath.c_str(), "w")) {
        std::fprintf(report, "%d%s", vtest::AllocationFailed(), vantrove::AmErrorText());
        std::fclose(report);
      }
      _exit(status);
    });
    const char* argv[] = {"vantrove", in.c_str(), out.c_str(), nullptr};
    vtest::FailAllocation(n);
    vantrove::KRMain(3, const_cast<char**>(argv));
  }
  ProgramRun run;
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return run;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.err = vtest::readFile(err);
  run.out = vtest::readFile(out);
  run.report = vtest::readFile(reportPath);
  return run;
}

TEST(MemoryFull, EveryFailedAllocationOfARunEndsInItsOwnWay) {
  // In the scratch folder, which goes when the test program ends.
  const std::string folder = std::filesystem::path(vtest::tmpDir()).parent_path() / "memory";
  std::filesystem::create_directories(folder + "/kzinit/filters");
  std::ofstream(folder + "/kzinit/filters/dca.am") << smallFontMap();
  const dca::Bytes cr{dca::ctl::RCR};
  const dca::Bytes document = dca::document(
      dca::textUnit("000001", dca::ebc("One line") + cr + dca::setGfid(85) + dca::ebc("a note") +
                                  dca::noteReference("900001") + dca::noteEcho(1) + cr) +
      dca::textUnit("900001", dca::ebc("The note") + cr));
  std::ofstream(folder + "/in.dca", std::ios::binary)
      .write(reinterpret_cast<const char*>(document.data()), document.size());

  const ProgramRun plain = runProgram(folder, 0);
  ASSERT_EQ(plain.status, 0) << plain.err;
  ASSERT_EQ(plain.err, "");
  int loading = 0, fatal = 0, withParagraph = 0;
  for (std::uint64_t n = 1;; ++n) {
    SCOPED_TRACE("allocation " + std::to_string(n));
    const ProgramRun run = runProgram(folder, n);
    EXPECT_TRUE(vtest::tmpFiles().empty());
    if (run.status == 1) {  // in the font map: no output is left
      EXPECT_GT(memoryFullLine(run.report.substr(1)), 0) << run.report;
      EXPECT_EQ(run.err, "Problem reading your dca.am file.\n");
      EXPECT_EQ(run.out, "");
      ++loading;
      continue;
    }
    ASSERT_EQ(run.status, 0) << run.err;
    if (run.err.empty()) {  // a failure the program can do without, or none
      EXPECT_EQ(run.out, plain.out);
      if (run.report.starts_with("0")) break;
      continue;
    }
    // Anywhere else: the diagnostic and a complete document, which holds the
    // fatal paragraph once the format units are read.
    EXPECT_TRUE(run.err.starts_with("vantrove: Byte 0")) << run.err;
    EXPECT_TRUE(run.err.ends_with(": Memory is full.\n")) << run.err;
    EXPECT_TRUE(run.out.starts_with("<TYXFile 2.00> # Generated by vantrove 4.0.1P1d\n"));
    const bool complete = run.out.ends_with("> # End TextFlow\n");
    EXPECT_TRUE(complete || run.out.ends_with("> # End ParaCatalog\n"));
    EXPECT_EQ(complete, run.out.find("<String `vantrove could not complete. Please see messages in "
                                     "the console window. '>\n") != std::string::npos);
    // A fatal error in a footnote leaves that footnote open, whatever the
    // error: what stands around the notes must be whole.
    std::string outside = run.out;
    const std::size_t notes = outside.find("\t<Notes\n"), end = outside.find("\t> # End Notes\n");
    if (notes != std::string::npos) outside.erase(notes, end + 15 - notes);
    EXPECT_EQ(vtest::tyxFault(outside), "") << run.out;
    withParagraph += complete;
    ++fatal;
  }
  EXPECT_GT(loading, 0);
  EXPECT_GT(withParagraph, 10);
  EXPECT_GT(fatal, withParagraph);  // some before the format units
}

// The font map's text is read whole into one buffer before any of it is
// parsed: when that buffer cannot be had, or cannot grow for a stream of
// unknown size, the load fails at line 1 and the map keeps what earlier
// streams entered.
TEST(MemoryFull, AFontMapTextThatCannotBeHeldFailsAtLine1) {
  vantrove::AmReset();
  const std::string first = "<SrcChar <GFID 1>> <CorlaChar <FFamily A> <Code 7>>\n";
  // A second map whose first statement stands on line 4, longer than the
  // first buffer of a stream of unknown size (64 KiB).
  std::string second = "\n\n\n<SrcChar <GFID 2>> <CorlaChar <FFamily B> <Code 8>>\n";
  second += "<Comment " + std::string(100000, 'x') + ">\n";
  const auto regular = [](const std::string& text) {
    std::FILE* stream = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), stream);
    std::rewind(stream);
    return stream;
  };
  const auto unsized = [](std::string& text) {
    return fmemopen(text.data(), text.size(), "r");  // no descriptor: its size is unknown
  };
  std::string firstText = first;
  std::FILE* stream = unsized(firstText);
  ASSERT_EQ(vantrove::AmFontOpen(stream), 0);
  std::fclose(stream);
  // The first allocation of a load after the first is the text's buffer; for
  // the stream of unknown size, the second is that buffer doubled.
  for (const auto& [n, sized] : {std::pair{1, true}, {1, false}, {2, false}}) {
    SCOPED_TRACE(std::to_string(n) + (sized ? " regular file" : " stream of unknown size"));
    std::string secondText = second;
    stream = sized ? regular(second) : unsized(secondText);
    vtest::FailAllocation(n);
    EXPECT_EQ(vantrove::AmFontOpen(stream), 1);
    EXPECT_TRUE(vtest::AllocationFailed());
    vtest::FailAllocation(0);
    std::fclose(stream);
    EXPECT_STREQ(vantrove::AmErrorText(), "Memory is full at line 1.");
    ASSERT_NE(vantrove::AmFontRead(nullptr, 1, 0, 0), nullptr);
    EXPECT_EQ(vantrove::AmFontRead(nullptr, 1, 0, 0)->codeMap[0], 7);
    EXPECT_EQ(vantrove::AmFontRead(nullptr, 2, 0, 0), nullptr);
  }
  // With the memory it needs the same text loads.
  std::string secondText = second;
  stream = unsized(secondText);
  EXPECT_EQ(vantrove::AmFontOpen(stream), 0);
  std::fclose(stream);
  ASSERT_NE(vantrove::AmFontRead(nullptr, 2, 0, 0), nullptr);
  EXPECT_EQ(vantrove::AmFontRead(nullptr, 2, 0, 0)->codeMap[0], 8);
  vantrove::AmReset();
}

// Without the program's new-handler, a paragraph whose catalog entry cannot be
// made is tagged "memory full".
TEST(MemoryFull, WithoutTheHandlerTheCatalogAnswersAFailedAllocationItself) {
  vantrove::TyxReset();
  vantrove::TyxPgf body{};
  body.setMask = vantrove::TyxBit(vantrove::TyxPgfField::PgfTag);
  body.pgfTag = "Body";
  vtest::FailAllocation(1);
  EXPECT_STREQ(vantrove::TyxParaCatalogLookup(&body), "memory full");
  EXPECT_TRUE(vtest::AllocationFailed());
  vtest::FailAllocation(0);
  EXPECT_STREQ(vantrove::TyxParaCatalogLookup(&body), "Body");
  vantrove::TyxReset();
}

}  // namespace
