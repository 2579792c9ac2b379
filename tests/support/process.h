// Running the built program from tests, and slicing its output.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/dca_builder.h"

namespace vtest {

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;     // exit status, or 128 + signal number
  long stdinRead = 0;  // how far the program read into its standard input
};

// Runs `program` with `args` (argv[1..]), feeding `stdinBytes` on its
// standard input. The environment is the test's, with KZHOME pointing at a
// folder whose kzinit/filters/dca.am is the repository's font map, HOME at an
// empty scratch folder and TMPDIR at a scratch folder (see tmpDir()); `env`
// overrides or, with an empty value, removes variables.
RunResult runProgram(const std::string& program, const std::vector<std::string>& args,
                     const dca::Bytes& stdinBytes = {},
                     const std::map<std::string, std::string>& env = {});

// Converts a document and returns the result.
inline RunResult convert(const dca::Bytes& document) {
  return runProgram(VANTROVE_BIN, {}, document);
}

// The scratch folder the program's temporary files go to (TMPDIR); emptied
// before each run.
std::string tmpDir();
// Names of the files now in tmpDir().
std::vector<std::string> tmpFiles();

// Reads a whole file.
std::string readFile(const std::string& path);

}  // namespace vtest
