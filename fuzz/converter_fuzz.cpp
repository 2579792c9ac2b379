// Fuzz target: the whole converter, in process, over arbitrary input bytes.
// Every run must end through the exit path with status 0 or 1, without a
// crash, a hang, an out-of-bounds access or a leak, and must leave no
// temporary file behind once the module state is reset.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fontmap/fontmap.h"
#include "vantrove/driver.h"
#include "vantrove/io.h"

namespace {

struct ExitRequest {
  int status;
};

[[noreturn]] void throwExit(int status) {
  throw ExitRequest{status};
}

void setUp() {
  static bool ready = [] {
    std::FILE* map = std::fopen(VANTROVE_SOURCE_DIR "/data/dca.am", "r");
    if (!map || vantrove::AmFontOpen(map) != 0) std::abort();
    std::fclose(map);
    vantrove::KRSetExitHook(throwExit);
    return true;
  }();
  (void)ready;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  setUp();
  vantrove::KRResetAll();
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::fopen("/dev/null", "w");
  if (!in || !out) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, in) != size) std::abort();
  std::rewind(in);
  int status = -1;
  try {
    vantrove::KRRun(in, out);
  } catch (const ExitRequest& request) {
    status = request.status;
  }
  if (status != 0 && status != 1) std::abort();
  vantrove::KRResetAll();  // closes the input if the run left it open
  std::fclose(out);
  return 0;
}
