// The input byte stream: skipped bytes, push-back in front of what is still
// pending, the end of the input, and the memory that replays a scanned line.
// Offsets are read where they matter, in the diagnostics, which name the
// offset at which the latest read began.
#include "vantrove/io.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <numeric>

#include "support/in_process.h"

namespace vantrove {
namespace {

using dca::Bytes;
using dca::operator+;

class IoTest : public testing::Test {
 protected:
  void SetUp() override { vtest::startInProcess(); }
  void TearDown() override { vtest::stopInProcess(); }
};

Bytes read(std::uint32_t size, std::uint32_t count = 0) {
  Bytes buffer(size);
  EXPECT_EQ(KRStdinRead(1, "Expected test bytes.", buffer.data(), size, count), 2);
  return buffer;
}

// Bytes [from, to) of an input whose byte i is i + 1 (mod 256).
Bytes counting(std::size_t from, std::size_t to) {
  Bytes bytes(to - from);
  std::iota(bytes.begin(), bytes.end(), static_cast<std::uint8_t>(from + 1));
  return bytes;
}

// The diagnostic of a warning given now, and the one expected at `offset`.
std::string warning() {
  return vtest::capture([] { KRNonFatal("here"); }).err;
}
std::string at(unsigned offset) {
  char line[64];
  std::snprintf(line, sizeof line, "vantrove: Byte 0%o: here\n", offset);
  return line;
}

TEST_F(IoTest, SkippedBytesAndPushedBackOnesNewestInFront) {
  vtest::openInput(counting(0, 200));
  EXPECT_EQ(read(19, 100), counting(0, 19));  // the other 81 are skipped
  EXPECT_EQ(warning(), at(19));               // where the skip began
  read(5);
  KRStdinUnread(counting(100, 105).data(), 5);
  EXPECT_EQ(warning(), at(95));  // both offsets move back by five
  EXPECT_EQ(read(3), counting(100, 103));
  EXPECT_EQ(warning(), at(100));
  KRStdinUnread(dca::raw({1, 2}).data(), 2);
  KRStdinUnread(dca::raw({3, 4}).data(), 2);
  // The pushed-back bytes, newest first, then the file.
  EXPECT_EQ(read(9), dca::raw({3, 4, 1, 2}) + counting(103, 108));
  read(1);
  EXPECT_EQ(warning(), at(108));
  // Bytes that never came from the input, pushed back near its start: the
  // offsets stop at zero instead of wrapping.
  vtest::openInput(counting(0, 10));
  read(3);
  KRStdinUnread(counting(50, 58).data(), 8);
  EXPECT_EQ(warning(), at(0));
  read(1);
  EXPECT_EQ(warning(), at(0));
}

TEST_F(IoTest, AShortReadKeepsThePushedBackBytesAndTheEndStays) {
  vtest::openInput(dca::raw({1, 2, 3, 4}));
  read(2);
  const Bytes pushed = dca::raw({7, 8});
  KRStdinUnread(pushed.data(), 2);
  // The file delivers only two of the three bytes asked from it after the
  // pushed-back ones: those stay pushed back, to be read again.
  std::uint8_t buffer[5];
  EXPECT_EQ(KRStdinRead(0, "m", buffer, 5, 0), 1);
  EXPECT_EQ(read(2), pushed);
  // Nothing left in the file: the end, and again at the next read; both
  // still move the offset.
  EXPECT_EQ(KRStdinRead(0, "m", buffer, 1, 0), 0);
  EXPECT_EQ(KRStdinRead(0, "m", buffer, 1, 0), 0);
  // Bytes pushed back after the end are read before the end is met again.
  KRStdinUnread(pushed.data(), 2);
  EXPECT_EQ(read(2), pushed);
  const vtest::Outcome end = vtest::capture([] { read(1); });
  EXPECT_EQ(end.status, 0);
  EXPECT_THAT(end.err, testing::StartsWith("vantrove: Byte 011: Expected test bytes.\n"
                                           "Premature end of file.\n"));
}

TEST_F(IoTest, RememberedBytesReplayAndAPushedBackMegabyteReadsBackByteByByte) {
  // A byte at a time both ways: push-back must stay linear, not move the
  // pending bytes on every read.
  constexpr std::size_t kSize = 1 << 20;
  vtest::openInput(counting(0, kSize + 3));
  read(3);
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
