// Running the converter inside the test process: every module reset, and the
// end of a run (which would end the process) turned into an exception.
#pragma once

#include <functional>
#include <string>

#include "support/dca_builder.h"

namespace vtest {

// Resets every module but the font map, and makes the program's exit throw
// Exited instead of ending the process; stopInProcess() undoes both.
struct Exited {
  int status;
};
void startInProcess();
void stopInProcess();

// Makes the bytes the input stream.
void openInput(const dca::Bytes& bytes);

// Runs `body` with the standard error captured: the exit status (-1 when
// `body` returned) and what it printed.
struct Outcome {
  int status;
  std::string err;
};
Outcome capture(const std::function<void()>& body);

// A read-only stream over a copy of the bytes; the caller closes it.
std::FILE* openBytes(const dca::Bytes& bytes);

}  // namespace vtest
