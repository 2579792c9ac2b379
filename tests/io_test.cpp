// The input byte stream's memory, which replays a scanned line: a megabyte
// read, pushed back and read again a byte at a time must take linear time.
// (Skipped bytes, the order of pushed-back bytes, the offsets diagnostics
// name and the end of the input show in the cases: tests/cases/.)
#include "vantrove/io.h"

#include <gtest/gtest.h>

#include <numeric>

#include "support/in_process.h"

namespace vantrove {
namespace {

using dca::Bytes;

class IoTest : public testing::Test {
 protected:
  void SetUp() override { vtest::startInProcess(); }
  void TearDown() override { vtest::stopInProcess(); }
};

// Bytes [from, to) of an input whose byte i is i + 1 (mod 256).
Bytes counting(std::size_t from, std::size_t to) {
  Bytes bytes(to - from);
  std::iota(bytes.begin(), bytes.end(), static_cast<std::uint8_t>(from + 1));
  return bytes;
}

TEST_F(IoTest, RememberedBytesReplayAndAPushedBackMegabyteReadsBackByteByByte) {
  // A byte at a time both ways: push-back must stay linear, not move the
  // pending bytes on every read.
  constexpr std::size_t kSize = 1 << 20;
  vtest::openInput(counting(0, kSize + 3));
  std::uint8_t start[3];
  KRStdinRead(1, "m", start, 3, 0);
  KRStdinRemember();
  Bytes replay(kSize);
  for (std::size_t i = 0; i < kSize; ++i) KRStdinRead(1, "m", &replay[i], 1, 0);
  KRStdinUnread(&replay[kSize - 4], 4);  // unread bytes leave the memory
  KRStdinForget();
  KRStdinUnreadMemory();
  for (std::size_t i = 0; i < kSize; ++i) KRStdinRead(1, "m", &replay[i], 1, 0);
  EXPECT_TRUE(replay == counting(3, kSize + 3));
  EXPECT_EQ(KRStdinRead(0, "m", &replay[0], 1, 0), 0);
}

}  // namespace
}  // namespace vantrove
