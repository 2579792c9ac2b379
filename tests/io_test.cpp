#include "vantrove/io.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <numeric>

#include "support/dca_builder.h"

namespace vantrove {
namespace {

using dca::Bytes;
using dca::operator+;

struct IoTest : testing::Test {
  void SetUp() override { dca::startInProcess(); }
  void TearDown() override { dca::stopInProcess(); }
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

TEST_F(IoTest, SkippedBytesAndPushedBackOnesNewestInFront) {
  dca::openInput(counting(0, 200));
  EXPECT_EQ(read(19, 100), counting(0, 19));  // the other 81 are skipped
  EXPECT_EQ(KRStdinLastOffset(), 19u);        // where the skip began
  read(5);
  KRStdinUnread(counting(100, 105).data(), 5);
  EXPECT_EQ(KRStdinOffset(), 100u);
  EXPECT_EQ(KRStdinLastOffset(), 95u);
  EXPECT_EQ(read(3), counting(100, 103));
  KRStdinUnread(dca::raw({1, 2}).data(), 2);  // into the room in front
  KRStdinUnread(dca::raw({3, 4}).data(), 2);  // no room left: the pending bytes move
  // The pushed-back bytes, then the file.
  EXPECT_EQ(read(9), dca::raw({3, 4, 1, 2}) + counting(103, 108));
  EXPECT_EQ(KRStdinOffset(), 108u);
  // Bytes that never came from the input, pushed back near its start: the
  // offsets stop at zero instead of wrapping.
  dca::openInput(counting(0, 10));
  read(3);
  KRStdinUnread(counting(50, 58).data(), 8);
  EXPECT_EQ(KRStdinOffset(), 0u);
  EXPECT_EQ(KRStdinLastOffset(), 0u);
}

TEST_F(IoTest, AShortReadKeepsThePushedBackBytesAndTheEndStays) {
  dca::openInput(dca::raw({1, 2, 3, 4}));
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
  const dca::Outcome end = dca::capture([] { read(1); });
  EXPECT_EQ(end.status, 0);
  EXPECT_THAT(end.err, testing::StartsWith("vantrove: Byte 011: Expected test bytes.\n"
                                           "Premature end of file.\n"));
}

TEST_F(IoTest, RememberedBytesReplayAndAPushedBackMegabyteReadsBackByteByByte) {
  // A byte at a time both ways: push-back must stay linear, not move the
  // pending bytes on every read.
  constexpr std::size_t kSize = 1 << 20;
  dca::openInput(counting(0, kSize + 3));
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
