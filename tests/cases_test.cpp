// End-to-end cases: every file tests/cases/*.case is one run of the program,
// with its input written in the DCA builder's notation and the results the run
// must give. tests/cases/README.md describes the format; each case is a test
// of its own, "Cases.<file name>" (names use underscores: a hyphen would
// start the negative part of a test filter).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/notation.h"
#include "support/process.h"
#include "support/wellformed.h"

namespace {

namespace fs = std::filesystem;
using dca::Bytes;

struct Expectation {
  std::string slice;  // stderr, output, body, notes, catalog, layout or "pgf TAG"
  bool part;          // the slice need only contain the text
  std::string text;
};

struct Case {
  bool tyx2html = false;
  int status = 0;
  std::vector<std::string> args;
  std::map<std::string, std::string> env;
  std::string program;
  long inputRead = -1;
  std::string input;
  std::vector<std::pair<std::string, std::string>> files;  // path, text
  std::vector<Expectation> expectations;
};

Case readCase(const fs::path& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  Case c;
  std::string* section = nullptr;
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("--- ")) {
      std::string name = line.substr(4);
      if (name == "input") {
        section = &c.input;
      } else if (name.starts_with("file ")) {
        section = &c.files.emplace_back(name.substr(5), "").second;
      } else {
        const bool part = name.starts_with("part of ");
        c.expectations.push_back({part ? name.substr(8) : name, part, ""});
        section = &c.expectations.back().text;
      }
    } else if (section != nullptr) {
      *section += line + "\n";
    } else {
      std::istringstream words(line);
      std::string key, word;
      words >> key;
      if (key.empty() || key.front() == '#') continue;
      if (key == "runs") {
        words >> word;
        c.tyx2html = word == "tyx2html";
      } else if (key == "status") {
        words >> c.status;
      } else if (key == "args") {
        while (words >> word) c.args.push_back(word);
      } else if (key == "env" && words >> word && word.find('=') != std::string::npos) {
        c.env[word.substr(0, word.find('='))] = word.substr(word.find('=') + 1);
      } else if (key == "program") {
        words >> c.program;
      } else if (key == "input-read") {
        words >> c.inputRead;
      } else {
        throw std::runtime_error(path.string() + ": unknown line: " + line);
      }
    }
  }
  return c;
}

// The text between `open` and `close`, each kept as asked.
std::string between(const std::string& text, const std::string& open, const std::string& close,
                    bool keepOpen, bool keepClose) {
  const std::size_t start = text.find(open);
  if (start == std::string::npos) return "<missing " + open + ">";
  const std::size_t end = text.find(close, start + open.size());
  if (end == std::string::npos) return "<missing " + close + ">";
  const std::size_t from = keepOpen ? start : start + open.size();
  return text.substr(from, (keepClose ? end + close.size() : end) - from);
}

// The part of the output document (or of the standard error) a section names.
std::string slice(const std::string& name, const std::string& err, const std::string& out) {
  if (name == "stderr") return err;
  if (name == "output") return out;
  // The text between the notes and the end of the second text flow.
  if (name == "body") return between(out, "\t> # End Notes\n", "> # End TextFlow\n", false, false);
  if (name == "notes") return between(out, "\t<Notes\n", "\t> # End Notes\n", false, false);
  if (name == "catalog") return between(out, "<ParaCatalog\n", "> # End ParaCatalog\n", true, true);
  // The document and page statements.
  if (name == "layout") return between(out, "<Document\n", "<TextFlow\n", true, false);
  // What stands inside the page box of tyx2html's page.
  if (name == "page")
    return between(out, "<div class=\"page\">\n", "</div>\n</body>", false, false);
  // One format of the catalog.
  if (name.starts_with("pgf ")) {
    const std::string open = "<Pgf\n\t<PgfTag `" + name.substr(4) + "'>\n";
    return between(slice("catalog", err, out), open, "\n>\n", true, true);
  }
  throw std::runtime_error("unknown section " + name);
}

void runCase(const fs::path& path) {
  const Case c = readCase(path);
  // tyx2html reads the section's text, without its last line end.
  const Bytes input = c.tyx2html ? Bytes(c.input.begin(), c.input.end() - !c.input.empty())
                                 : dca::fromText(c.input);
  const fs::path scratch = fs::path(vtest::tmpDir()).parent_path() / "case";
  fs::remove_all(scratch);
  fs::create_directories(scratch);
  for (const auto& [name, text] : c.files) {
    fs::create_directories((scratch / name).parent_path());
    std::ofstream(scratch / name) << text;
  }
  // $SCRATCH: the folder of the case's files.
  std::map<std::string, std::string> env = c.env;
  for (auto& [name, value] : env)
    if (value.starts_with("$SCRATCH")) value.replace(0, 8, scratch.string());
  std::string program = c.tyx2html ? TYX2HTML_BIN : VANTROVE_BIN;
  if (!c.program.empty()) {
    fs::create_symlink(program, scratch / c.program);
    program = scratch / c.program;
  }
  // $IN: the input as a file named on the command line; $OUT: the output
  // file; $SOURCE: the source tree.
  std::vector<std::string> args = c.args;
  bool inputFile = false, outputFile = false;
  for (std::string& arg : args) {
    if (arg.starts_with("$SOURCE/")) arg.replace(0, 7, VANTROVE_SOURCE_DIR);
    if (arg == "$IN") {
      arg = scratch / "in.dca";
      std::ofstream(arg, std::ios::binary)
          .write(reinterpret_cast<const char*>(input.data()), static_cast<long>(input.size()));
      inputFile = true;
    } else if (arg == "$OUT") {
      arg = scratch / "out.tyx";
      outputFile = true;
    }
  }
  const vtest::RunResult r = vtest::runProgram(program, args, inputFile ? Bytes{} : input, env);
  std::string document = r.out;
  if (outputFile) {
    EXPECT_EQ(r.out, "") << "standard output";
    document = vtest::readFile(scratch / "out.tyx");
  }
  EXPECT_EQ(r.status, c.status) << "exit status";
  bool errChecked = false;
  for (const Expectation& e : c.expectations) {
    const std::string actual = slice(e.slice, r.err, document);
    if (e.part) {
      // A part is a piece of text: its last line end is not part of it.
      const std::string part = e.text.substr(0, e.text.size() - e.text.ends_with('\n'));
      EXPECT_THAT(actual, testing::HasSubstr(part)) << "part of " << e.slice;
    } else {
      EXPECT_EQ(actual, e.text) << e.slice;
    }
    errChecked = errChecked || e.slice == "stderr";
  }
  if (!errChecked) {
    EXPECT_EQ(r.err, "") << "stderr";
  }
  if (c.inputRead >= 0) {
    EXPECT_EQ(r.stdinRead, c.inputRead) << "bytes read from standard input";
  }
  if (!c.tyx2html) {
    EXPECT_EQ(vtest::tyxFault(document), "") << "the output is not well formed";
  }
  EXPECT_EQ(vtest::tmpFiles(), std::vector<std::string>{}) << "temporary files left behind";
}

class CaseTest : public testing::Test {
 public:
  explicit CaseTest(fs::path path) : path_(std::move(path)) {}
  void TestBody() override {
    SCOPED_TRACE(path_.string());
    runCase(path_);
  }

 private:
  fs::path path_;
};

const bool registered = [] {
  static std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(VANTROVE_SOURCE_DIR "/tests/cases"))
    if (entry.path().extension() == ".case") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  for (const std::string& file : files) {
    testing::RegisterTest("Cases", fs::path(file).stem().c_str(), nullptr, nullptr, file.c_str(), 1,
                          [file]() -> testing::Test* { return new CaseTest(file); });
  }
  return true;
}();

}  // namespace
