// vantrove-batch over a generated tree: every output as vantrove gives it for
// that file alone, one report row per input, no temporary file left behind,
// re-runs that convert only what changed, the many-machine path through an ssh
// stand-in, and jobs that are killed or interrupted.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/batch_tree.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;

const std::string kBatch = (fs::path(VANTROVE_BIN).parent_path() / "vantrove-batch").string();

std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> row;
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c != '"')
        field += c;
      else if (i + 1 < text.size() && text[i + 1] == '"')
        field += text[++i];
      else
        quoted = false;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',' || c == '\n') {
      row.push_back(std::move(field));
      field.clear();
      if (c == '\n') rows.push_back(std::move(row)), row.clear();
    } else {
      field += c;
    }
  }
  return rows;
}

struct Row {
  std::string status, exit, diagnostics, inBytes, outBytes, seconds;
};

std::map<std::string, Row> readReport(const fs::path& dest) {
  auto rows = parseCsv(vtest::readFile(dest / "vantrove-report.csv"));
  std::map<std::string, Row> report;
  EXPECT_FALSE(rows.empty());
  if (rows.empty()) return report;
  EXPECT_EQ(rows[0], (std::vector<std::string>{"path", "status", "exit_status", "diagnostics",
                                               "input_bytes", "output_bytes", "seconds"}));
  for (std::size_t i = 1; i < rows.size(); ++i) {
    auto& r = rows[i];
    EXPECT_EQ(r.size(), 7u) << r[0];
    r.resize(7);
    EXPECT_TRUE(report.emplace(r[0], Row{r[1], r[2], r[3], r[4], r[5], r[6]}).second) << r[0];
  }
  return report;
}

// What vantrove printed, as the report joins it.
std::string joined(std::string err) {
  if (!err.empty() && err.back() == '\n') err.pop_back();
  for (std::size_t at; (at = err.find('\n')) != std::string::npos;) err.replace(at, 1, " | ");
  return err;
}

bool converts(const vtest::TreeFile& file) {
  return file.status.starts_with("converted");
}

class Batch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root = fs::path(vtest::tmpDir()).parent_path() / "batch";
    src = root / "src";
    tree = vtest::batchTree(200, true);
    vtest::writeTree(src, tree);
    for (const auto& file : tree)
      if (file.status != "not DCA") reference[file.path] = vtest::run({src / file.path});
  }

  static vtest::RunResult batch(std::vector<std::string> args,
                                const std::map<std::string, std::string>& env = {}) {
    return vtest::runProgram(kBatch, args, {}, env);
  }

  // DEST against the tree, `status` giving each input's expected status: the
  // report's rows, each output byte for byte, and nothing else anywhere.
  static void expectRun(const fs::path& dest,
                        const std::function<std::string(const vtest::TreeFile&)>& status) {
    const auto report = readReport(dest);
    EXPECT_EQ(report.size(), tree.size());
    std::vector<fs::path> outputs{dest / "vantrove-report.csv"};
    for (const auto& file : tree) {
      SCOPED_TRACE(file.path);
      const auto found = report.find(file.path);
      ASSERT_NE(found, report.end());
      const Row& row = found->second;
      const std::string want = status(file);
      EXPECT_EQ(row.status, want);
      EXPECT_EQ(row.inBytes, std::to_string(file.bytes.size()));
      if (want.starts_with("converted") || want == "skipped") {
        const fs::path out = dest / fs::path(file.path).replace_extension(".tyx");
        outputs.push_back(out);
        EXPECT_EQ(vtest::readFile(out), reference.at(file.path).out);
        EXPECT_EQ(row.outBytes, std::to_string(fs::file_size(out)));
      } else {
        EXPECT_EQ(row.outBytes, "");
      }
      if (want == "skipped") {
        EXPECT_EQ(row.exit + row.diagnostics + row.seconds, "");
      } else if (file.path.starts_with("damaged/") || want == "converted") {
        EXPECT_EQ(row.exit, "0");
        EXPECT_EQ(row.diagnostics, joined(reference.at(file.path).err));
        EXPECT_NE(row.seconds, "");
      }
    }
    std::sort(outputs.begin(), outputs.end());
    std::vector<fs::path> found;
    for (const auto& entry : fs::recursive_directory_iterator(dest))
      if (!entry.is_directory()) found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, outputs);
    EXPECT_EQ(vtest::tmpFiles(), std::vector<std::string>{});
  }

  static inline fs::path root, src;
  static inline std::vector<vtest::TreeFile> tree;
  static inline std::map<std::string, vtest::RunResult> reference;
};

TEST_F(Batch, ConvertsTheTreeThenOnlyWhatChanged) {
  const fs::path dest = root / "dest";
  auto r = batch({src, dest});
  EXPECT_EQ(r.status, 1);  // the truncated documents and the second twin failed
  EXPECT_NE(r.out.find("216 inputs: 207 converted, 2 converted with warnings, 4 failed, "
                       "3 not DCA, 0 skipped"),
            std::string::npos)
      << r.out << r.err;
  expectRun(dest, [](const auto& file) { return file.status; });

  // A second run writes nothing; it tries the failed documents again.
  std::map<fs::path, fs::file_time_type> written;
  for (const auto& entry : fs::recursive_directory_iterator(dest))
    if (entry.path().extension() == ".tyx") written[entry.path()] = entry.last_write_time();
  r = batch({src, dest});
  EXPECT_EQ(r.status, 1);
  expectRun(dest, [](const auto& file) { return converts(file) ? "skipped" : file.status; });
  for (const auto& [path, time] : written) EXPECT_EQ(fs::last_write_time(path), time) << path;

  // A touched document is converted again, and only that one.
  const std::string touched = tree[7].path;
  fs::last_write_time(src / touched, fs::file_time_type::clock::now());
  r = batch({src, dest});
  expectRun(dest, [&](const auto& file) {
    return file.path == touched ? "converted" : converts(file) ? "skipped" : file.status;
  });

  // --include narrows the walk and --force converts what is up to date; with
  // nothing failed the status is 0.
  r = batch({"--force", "--include", "doc1*", "--include", "doc2?.*", src, dest});
  EXPECT_EQ(r.status, 0) << r.err;
  const auto report = readReport(dest);
  EXPECT_EQ(report.size(), 111u + 8u);
  for (const auto& [path, row] : report) {
    EXPECT_TRUE(path.starts_with("vol ")) << path;
    EXPECT_EQ(row.status, "converted") << path;
  }
}

TEST_F(Batch, ThroughAnotherMachineGivesTheSameOutputsAndReport) {
  // An ssh that runs the job here, as the other machine would: in the login
  // folder, with a login's environment and a temporary folder of its own. The
  // documents go there and the outputs come back with rsync.
  const fs::path ssh = root / "ssh", home = root / "elsewhere", tmp = home / "tmp";
  std::ofstream(ssh) << "#!/bin/bash\n"
                        "while [[ $1 == -* ]]; do [[ $1 == -[lpo] ]] && shift; shift; done\n"
                        "shift\n"
                        "[[ $1 == -- ]] && shift\n"
                        "cd && exec env -i SHELL=/bin/bash PATH=\"$PATH\" HOME=\"$HOME\" "
                        "KZHOME=\"$KZHOME\" TMPDIR="
                     << tmp << " bash -c \"$*\"\n";
  fs::permissions(ssh, fs::perms::owner_all);
  fs::create_directories(tmp);

  const fs::path dest = root / "dest-ssh";
  auto r = batch({"--transfer", "-S", "4/elsewhere", "--ssh", ssh, src, dest}, {{"HOME", home}});
  EXPECT_EQ(r.status, 1) << r.err;
  expectRun(dest, [](const auto& file) { return file.status; });
  // Nothing is left there either: no temporary file, and of parallel's working
  // folders only its notes on the machine.
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
  std::ofstream(bin / "vantrove") << "#!/bin/bash\n"
                                     ": >\"$TMPDIR/vantrove.$$.1\"\n"
                                     "echo partial >\"$2\"\n"
                                     "case $1 in\n"
                                     "  *kill*) kill -KILL $PPID ;;\n"
                                     "  *stop*) echo 'vantrove: Byte 00: Not a DCA file.' >&2 ;;\n"
                                     "  *) exec sleep 60 ;;\n"
                                     "esac\n"
                                     "exit 1\n";
  fs::permissions(bin / "vantrove", fs::perms::owner_all);
  vtest::writeTree(stubSrc,
                   {{"a kill.dca", dca::document({}), ""}, {"b stop.dca", dca::document({}), ""}});

  auto r = vtest::runProgram(bin / "vantrove-batch", {stubSrc, dest});
  EXPECT_EQ(r.status, 1) << r.err;
  auto report = readReport(dest);
  EXPECT_EQ(report["a kill.dca"].status, "failed");
  EXPECT_EQ(report["a kill.dca"].exit, "137");
  EXPECT_EQ(report["a kill.dca"].diagnostics, "vantrove-batch: the job was killed by signal 9");
  EXPECT_EQ(report["b stop.dca"].status, "not DCA");
  EXPECT_EQ(report.size(), 2u);
  fs::remove(dest / "vantrove-report.csv");
  EXPECT_TRUE(fs::is_empty(dest));
  EXPECT_EQ(vtest::tmpFiles(), std::vector<std::string>{});

  // Ctrl-C while a job is writing: status 130 and nothing left.
  fs::remove_all(stubSrc);
  vtest::writeTree(stubSrc, {{"c hang.dca", dca::document({}), ""}});
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

}  // namespace
