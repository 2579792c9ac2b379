#include "support/in_process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>

#include "vantrove/driver.h"
#include "vantrove/io.h"

namespace vtest {

void startInProcess() {
  vantrove::KRResetAll();
  vantrove::KRSetExitHook([](int status) { throw Exited{status}; });
}

void stopInProcess() {
  vantrove::KRSetExitHook(nullptr);
  vantrove::KRResetAll();
}

void openInput(const dca::Bytes& bytes) {
  vantrove::KRStdinOpen(openBytes(bytes));
}

Outcome capture(const std::function<void()>& body) {
  testing::internal::CaptureStderr();
  int status = -1;
  try {
    body();
  } catch (const Exited& exited) {
    status = exited.status;
  }
  return {status, testing::internal::GetCapturedStderr()};
}

std::FILE* openBytes(const dca::Bytes& bytes) {
  std::FILE* stream = std::tmpfile();
  if (stream == nullptr) throw std::runtime_error("tmpfile failed");
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), stream) != bytes.size()) {
    std::fclose(stream);
    throw std::runtime_error("cannot write the input");
  }
  std::rewind(stream);
  return stream;
}

}  // namespace vtest
