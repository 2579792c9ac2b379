// vantrove-batch over a generated tree: every output as vantrove gives it for
// that file alone (and with --html every page as tyx2html gives it for that
// output alone), one report row per input, nothing else left anywhere, re-runs
// that convert only what changed, the many-machine path through an ssh
// stand-in, and jobs that are killed or interrupted or whose page fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "support/batch_tree.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using Rows = std::map<std::string, std::vector<std::string>>;

const std::string kBatch = (fs::path(VANTROVE_BIN).parent_path() / "vantrove-batch").string();

// The report's rows by path: status, exit status, diagnostics, input bytes,
// output bytes, seconds.
Rows readReport(const fs::path& dest) {
  const std::string text = vtest::readFile(dest / "vantrove-report.csv");
  Rows rows;
  std::vector<std::string> record(1);
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"' && !(quoted && text[i + 1] == '"')) {
      quoted = !quoted;
    } else if (!quoted && text[i] == ',') {
      record.emplace_back();
    } else if (!quoted && text[i] == '\n') {
      EXPECT_EQ(record.size(), 7u) << record[0];
      record.resize(7);
      rows[record[0]].assign(record.begin() + 1, record.end());
      record.assign(1, "");
    } else {
      record.back() += text[text[i] == '"' ? i++ : i];  // a doubled quote is one
    }
  }
  EXPECT_EQ(rows["path"], (std::vector<std::string>{"status", "exit_status", "diagnostics",
                                                    "input_bytes", "output_bytes", "seconds"}));
  rows.erase("path");
  return rows;
}

// What tyx2html makes of a Tyx file alone.
std::string pageOf(const fs::path& tyx) {
  return vtest::runProgram(TYX2HTML_BIN, {tyx}).out;
}

// Writes an executable script.
void script(const fs::path& path, const std::string& text) {
  std::ofstream(path) << text;
  fs::permissions(path, fs::perms::owner_all);
}

// The files below `dir`, sorted.
std::vector<fs::path> filesBelow(const fs::path& dir) {
  std::vector<fs::path> found;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (!entry.is_directory()) found.push_back(entry.path());
  std::sort(found.begin(), found.end());
  return found;
}

const dca::Bytes kEmpty = dca::document({});

class Batch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { root = fs::path(vtest::tmpDir()).parent_path() / "batch"; }

  // The tree under `src`, and vantrove's result for each DCA file of it alone.
  static void makeTree() {
    if (!tree.empty()) return;
    src = root / "src";
    tree = vtest::batchTree(200, true);
    vtest::writeTree(src, tree);
    for (const auto& file : tree)
      if (file.status != "not DCA")
        reference[file.path] = vtest::runProgram(VANTROVE_BIN, {src / file.path});
  }

  static vtest::RunResult batch(std::vector<std::string> args,
                                const std::map<std::string, std::string>& env = {}) {
    return vtest::runProgram(kBatch, args, {}, env);
  }

  // DEST after a run: the report's rows, each output (and with `html` each
  // page) byte for byte, and nothing else there or in the temporary folder.
  // Each input has its first run's status, or, after a first run, `touched`
  // alone is converted again and what was converted is skipped.
  static void expectRun(const fs::path& dest, bool html = false, const char* touched = nullptr) {
    Rows rows = readReport(dest);
    EXPECT_EQ(rows.size(), tree.size());
    std::vector<fs::path> outputs{dest / "vantrove-report.csv"};
    for (const auto& file : tree) {
      SCOPED_TRACE(file.path);
      auto& row = rows[file.path];
      row.resize(6);
      const std::string want = touched == nullptr                     ? file.status
                               : file.path == touched                 ? "converted"
                               : file.status.starts_with("converted") ? "skipped"
                                                                      : file.status;
      EXPECT_EQ(row[0], want);
      EXPECT_EQ(row[3], std::to_string(file.bytes.size()));
      std::string outBytes;
      if (want.starts_with("converted") || want == "skipped") {
        outputs.push_back(dest / fs::path(file.path).replace_extension(".tyx"));
        EXPECT_EQ(vtest::readFile(outputs.back()), reference[file.path].out);
        outBytes = std::to_string(reference[file.path].out.size());
        if (html) {
          outputs.push_back(fs::path(outputs.back()).replace_extension(".html"));
          EXPECT_EQ(vtest::readFile(outputs.back()), pageOf(outputs[outputs.size() - 2]));
        }
      }
      EXPECT_EQ(row[4], outBytes);
      if (want == "skipped") {
        EXPECT_EQ(row[1] + row[2] + row[5], "");
      } else if (file.path.starts_with("damaged/") || want == "converted") {
        // What vantrove printed, its lines joined.
        std::string err = reference[file.path].err;
        for (std::size_t at; (at = err.find('\n')) != std::string::npos;)
          err.replace(at, 1, at + 1 == err.size() ? "" : " | ");
        EXPECT_EQ(row[1] + ":" + row[2], "0:" + err);
        EXPECT_NE(row[5], "");
      }
    }
    std::sort(outputs.begin(), outputs.end());
    EXPECT_EQ(filesBelow(dest), outputs);
    EXPECT_EQ(vtest::tmpFiles(), std::vector<std::string>{});
  }

  static inline fs::path root, src;
  static inline std::vector<vtest::TreeFile> tree;
  static inline std::map<std::string, vtest::RunResult> reference;
};

TEST_F(Batch, ConvertsTheTreeThenOnlyWhatChanged) {
  makeTree();
  const fs::path dest = root / "dest";
  auto r = batch({src, dest});
  EXPECT_EQ(r.status, 1);  // the truncated documents and the second twin failed
  EXPECT_NE(r.out.find("216 inputs: 207 converted, 2 converted with warnings, 4 failed, "
                       "3 not DCA, 0 skipped"),
            std::string::npos)
      << r.out << r.err;
  expectRun(dest);

  // A second run writes nothing; it tries the failed documents again.
  std::map<fs::path, fs::file_time_type> written;
  for (const auto& entry : fs::recursive_directory_iterator(dest))
    if (entry.path().extension() == ".tyx") written[entry.path()] = entry.last_write_time();
  EXPECT_EQ(batch({src, dest}).status, 1);
  expectRun(dest, false, "");
  for (const auto& [path, time] : written) EXPECT_EQ(fs::last_write_time(path), time) << path;

  // A touched document is converted again, and only that one.
  const std::string touched = tree[7].path;
  fs::last_write_time(src / touched, fs::file_time_type::clock::now());
  batch({src, dest});
  expectRun(dest, false, touched.c_str());

  // --include narrows the walk and --force converts what is up to date; with
  // nothing failed the status is 0.
  r = batch({"--force", "--include", "doc1*", "--include", "doc2?.*", src, dest});
  EXPECT_EQ(r.status, 0) << r.err;
  const Rows rows = readReport(dest);
  EXPECT_EQ(rows.size(), 111u + 8u);
  for (const auto& [path, row] : rows) EXPECT_EQ(path.substr(0, 4) + row[0], "vol converted");
}

TEST_F(Batch, WithHtmlEachTyxFileHasItsPageAndAPairIsUpToDateOnlyWhole) {
  makeTree();
  const fs::path dest = root / "dest-html";
  EXPECT_EQ(batch({"--html", src, dest}).status, 1);
  expectRun(dest, true);

  // A missing page makes its document out of date, and only that one.
  const std::string touched = tree[7].path;
  fs::remove(dest / fs::path(touched).replace_extension(".html"));
  batch({"--html", src, dest});
  expectRun(dest, true, touched.c_str());
}

TEST_F(Batch, ThroughAnotherMachineGivesTheSameOutputsAndReport) {
  makeTree();
  // An ssh that runs the job here as the other machine would: in the login
  // folder, with a login's environment and a temporary folder of its own. The
  // documents go there and the outputs come back with rsync.
  const fs::path ssh = root / "ssh", home = root / "elsewhere", tmp = home / "tmp";
  script(ssh,
         "#!/bin/bash\n"
         "while [[ $1 == -* ]]; do [[ $1 == -[lpo] ]] && shift; shift; done\n"
         "shift; [[ $1 == -- ]] && shift\n"
         "cd && exec env -i SHELL=/bin/bash PATH=\"$PATH\" HOME=\"$HOME\" KZHOME=\"$KZHOME\" "
         "TMPDIR=" +
             tmp.string() + " bash -c \"$*\"\n");
  fs::create_directories(tmp);

  const fs::path dest = root / "dest-ssh";
  auto r = batch({"--transfer", "--html", "-S", "4/elsewhere", "--ssh", ssh, src, dest},
                 {{"HOME", home}});
  EXPECT_EQ(r.status, 1) << r.err;
  expectRun(dest, true);
  // Nothing is left there either, but parallel's notes on the machine.
  for (const auto& entry : fs::recursive_directory_iterator(tmp)) ADD_FAILURE() << entry.path();
  for (const auto& entry : fs::directory_iterator(home / ".parallel/tmp"))
    EXPECT_EQ(entry.path().filename(), "sshlogin");
}

TEST_F(Batch, KilledOrInterruptedJobsLeaveNoTemporaryOrPartialFile) {
  // A vantrove that makes a temporary file and a partial output, then is
  // killed with its job, stops as on input that is not DCA, or hangs.
  const fs::path bin = root / "stub", stubSrc = root / "stub-src", dest = root / "stub-dest";
  fs::create_directories(bin);
  fs::copy_file(kBatch, bin / "vantrove-batch");
  script(bin / "vantrove",
         "#!/bin/bash\n"
         ": >\"$TMPDIR/vantrove.$$.1\"; echo partial >\"$2\"\n"
         "case $1 in\n"
         "  *kill*) kill -KILL $PPID ;;\n"
         "  *stop*) echo 'vantrove: Byte 00: Not a DCA file.' >&2 ;;\n"
         "  *) exec sleep 60 ;;\n"
         "esac\n"
         "exit 1\n");
  vtest::writeTree(stubSrc, {{"a kill.dca", kEmpty, ""}, {"b stop.dca", kEmpty, ""}});

  auto r = vtest::runProgram(bin / "vantrove-batch", {stubSrc, dest});
  EXPECT_EQ(r.status, 1) << r.err;
  Rows rows = readReport(dest);
  EXPECT_EQ(rows.size(), 2u);
  rows["a kill.dca"].resize(5);
  EXPECT_EQ(
      rows["a kill.dca"],
      (std::vector<std::string>{"failed", "137", "vantrove-batch: the job was killed by signal 9",
                                std::to_string(kEmpty.size()), ""}));
  EXPECT_EQ(rows["b stop.dca"].at(0), "not DCA");
  fs::remove(dest / "vantrove-report.csv");
  EXPECT_TRUE(fs::is_empty(dest));
  EXPECT_EQ(vtest::tmpFiles(), std::vector<std::string>{});

  // Ctrl-C while a job is writing: status 130 and nothing left.
  fs::remove_all(stubSrc);
  vtest::writeTree(stubSrc, {{"c hang.dca", kEmpty, ""}});
  r = vtest::runProgram("/bin/bash", {"-c",
                                      "set -m; \"$1\" \"$2\" \"$3\" & pid=$!\n"
                                      "for i in {1..400}; do\n"
                                      "  compgen -G \"$3/.vantrove-batch.*\" >/dev/null && break\n"
                                      "  sleep 0.05\n"
                                      "done\n"
                                      "kill -INT -- -$pid; wait $pid",
                                      "interrupt", bin / "vantrove-batch", stubSrc, dest});
  EXPECT_EQ(r.status, 130) << r.err;
  EXPECT_TRUE(fs::is_empty(dest));
  EXPECT_EQ(vtest::tmpFiles(), std::vector<std::string>{});
}

TEST_F(Batch, AFailedPageFailsItsDocumentWhichKeepsNoOutputAndIsTriedAgain) {
  // The real vantrove, and a tyx2html that fails on one document after
  // writing part of its page.
  const fs::path bin = root / "html-stub", stubSrc = bin / "src", dest = bin / "dest";
  fs::create_directories(bin);
  fs::copy_file(kBatch, bin / "vantrove-batch");
  fs::create_symlink(VANTROVE_BIN, bin / "vantrove");
  script(bin / "tyx2html", "#!/bin/bash\n[[ $1 == *bad* ]] || exec " + std::string(TYX2HTML_BIN) +
                               " \"$@\"\n"
                               "echo partial >\"$2\"; echo 'tyx2html: broken' >&2; exit 1\n");
  vtest::writeTree(stubSrc, {{"bad.dca", kEmpty, ""}, {"good.dca", kEmpty, ""}});

  for (const char* good : {"converted", "skipped"}) {
    auto r = vtest::runProgram(bin / "vantrove-batch", {"--html", stubSrc, dest});
    EXPECT_EQ(r.status, 1) << r.err;
    Rows rows = readReport(dest);
    rows["bad.dca"].resize(4);
    EXPECT_EQ(rows["bad.dca"],
              (std::vector<std::string>{
                  "failed", "0", "tyx2html: broken | vantrove-batch: tyx2html ended with status 1",
                  std::to_string(kEmpty.size())}));
    EXPECT_EQ(rows["good.dca"].at(0), good);
    EXPECT_EQ(filesBelow(dest), (std::vector<fs::path>{dest / "good.html", dest / "good.tyx",
                                                       dest / "vantrove-report.csv"}));
  }
  EXPECT_EQ(vtest::readFile(dest / "good.html"), pageOf(dest / "good.tyx"));
  EXPECT_EQ(vtest::tmpFiles(), std::vector<std::string>{});
}

}  // namespace
