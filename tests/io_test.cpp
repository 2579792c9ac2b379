#include "vantrove/io.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <random>
#include <string>

#include "support/dca_builder.h"
#include "vantrove/krtypes.h"

namespace vantrove {
namespace {

using dca::Bytes;
using dca::operator+;
using testing::StartsWith;

class IoTest : public testing::Test {
 protected:
  void SetUp() override { dca::startInProcess(); }
  void TearDown() override { dca::stopInProcess(); }
};

Bytes read(std::uint32_t size, std::uint32_t count = 0) {
  Bytes buffer(size);
  EXPECT_EQ(KRStdinRead(1, "Expected test bytes.", buffer.data(), size, count), 2);
  return buffer;
}

Bytes counting(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return bytes;
}

Bytes slice(const Bytes& bytes, std::size_t from, std::size_t to) {
  return Bytes(bytes.begin() + from, bytes.begin() + to);
}

TEST_F(IoTest, CountBeyondSizeSkipsTheRestAndCountZeroMeansSize) {
  const Bytes input = counting(64);
  dca::openInput(input);
  EXPECT_EQ(read(19, 40), slice(input, 0, 19));
  EXPECT_EQ(KRStdin.offset, 40u);
  EXPECT_EQ(KRStdin.lastOffset, 19u);  // the skip began at the first skipped byte
  EXPECT_EQ(read(4), slice(input, 40, 44));
  EXPECT_EQ(KRStdin.lastOffset, 40u);
}

TEST_F(IoTest, PushedBackBytesComeFirstNewestInFront) {
  const Bytes input = counting(200);
  dca::openInput(input);
  read(100);
  const Bytes five = read(5);
  KRStdinUnread(five.data(), 5);
  EXPECT_EQ(KRStdin.offset, 100u);
  EXPECT_EQ(KRStdin.lastOffset, 95u);

  const Bytes pushed = dca::raw({0xA1, 0xA2, 0xA3, 0xA4, 0xA5});
  KRStdinUnread(pushed.data(), 5);
  EXPECT_EQ(read(3), dca::raw({0xA1, 0xA2, 0xA3}));
  EXPECT_EQ(read(4), dca::raw({0xA4, 0xA5}) + slice(five, 0, 2));

  const Bytes first = dca::raw({1, 2}), second = dca::raw({3, 4});
  KRStdinUnread(first.data(), 2);
  KRStdinUnread(second.data(), 2);
  EXPECT_EQ(read(7), dca::raw({3, 4, 1, 2}) + slice(five, 2, 5));
  EXPECT_EQ(KRStdin.offset, 105u);
}

TEST_F(IoTest, RememberedBytesReplayFromWhereRememberingBegan) {
  const Bytes input = counting(40);
  dca::openInput(input);
  read(3);
  KRStdinRemember();
  read(6);
  const Bytes four = read(4);
  KRStdinUnread(four.data(), 4);  // unread bytes leave the memory
  read(4);
  KRStdinForget();
  KRStdinUnreadMemory();
  EXPECT_EQ(KRStdin.offset, 3u);
  EXPECT_EQ(read(11), slice(input, 3, 14));
}

TEST_F(IoTest, PushBackKeepsTheOrderThroughManyMixedOperations) {
  // Against a model of the bytes still to come and of both offsets: reads,
  // push-backs of new bytes and peeked runs consumed as single reads would
  // be, in a random mix.
  const Bytes input = counting(6000);
  dca::openInput(input);
  std::deque<std::uint8_t> model(input.begin(), input.end());
  std::uint32_t offset = 0, lastOffset = 0;
  std::mt19937 random(7);
  for (int step = 0; step < 4000 && model.size() > 64; ++step) {
    std::uint32_t n = 1 + random() % 12;
    const int operation = random() % 3;
    if (operation == 0) {
      const Bytes got = read(n);
      ASSERT_TRUE(std::equal(got.begin(), got.end(), model.begin()));
      model.erase(model.begin(), model.begin() + n);
      lastOffset = offset;
      offset += n;
    } else if (operation == 1) {
      Bytes back(n);
      for (std::uint8_t& byte : back) byte = static_cast<std::uint8_t>(random());
      KRStdinUnread(back.data(), n);
      model.insert(model.begin(), back.begin(), back.end());
      offset -= n;
      lastOffset -= n;
    } else {
      const std::uint8_t* bytes = nullptr;
      n = std::min(static_cast<std::uint32_t>(KRStdinPeek(&bytes)), n);
      ASSERT_TRUE(std::equal(bytes, bytes + n, model.begin()));
      KRStdinConsume(n);
      model.erase(model.begin(), model.begin() + n);
      if (n > 0) lastOffset = offset + n - 1;
      offset += n;
    }
    ASSERT_EQ(KRStdin.offset, offset);
    ASSERT_EQ(KRStdin.lastOffset, lastOffset);
  }
}

TEST_F(IoTest, ShortReadsAndTheEndOfTheInput) {
  dca::openInput(dca::raw({1, 2, 3, 4}));
  EXPECT_EQ(read(2), dca::raw({1, 2}));
  const Bytes pushed = dca::raw({7, 8});
  KRStdinUnread(pushed.data(), 2);
  // The file delivers only two of the three bytes asked from it after the
  // pushed-back ones: those stay pushed back, to be read again.
  std::uint8_t buffer[5];
  EXPECT_EQ(KRStdinRead(0, "m", buffer, 5, 0), 1);
  EXPECT_EQ(KRStdin.offset, 5u);
  EXPECT_EQ(read(2), pushed);
  EXPECT_EQ(KRStdin.lastOffset, 5u);
  // Nothing left in the file: the end, and again at every later read.
  EXPECT_EQ(KRStdinRead(0, "m", buffer, 1, 0), 0);
  EXPECT_EQ(KRStdin.file, nullptr);
  EXPECT_EQ(KRStdinRead(0, "m", buffer, 1, 0), 0);
  EXPECT_EQ(KRStdin.offset, 9u);
  // Bytes pushed back after the end are read before the end is met again.
  KRStdinUnread(pushed.data(), 2);
  EXPECT_EQ(read(2), pushed);
  const dca::Outcome end = dca::capture([] { read(1); });
  EXPECT_EQ(end.status, 0);
  EXPECT_THAT(end.err, StartsWith("vantrove: Byte 011: Expected test bytes.\n"
                                  "Premature end of file.\n"));
}

TEST_F(IoTest, APushedBackMegabyteReadsBackOneByteAtATimeInLinearTime) {
  constexpr std::size_t kSize = 1 << 20;
  const Bytes input = counting(kSize);
  dca::openInput(input);
  const auto start = std::chrono::steady_clock::now();
  KRStdinRemember();
  Bytes replay(kSize);
  for (std::size_t i = 0; i < kSize; ++i) KRStdinRead(1, "m", &replay[i], 1, 0);
  KRStdinForget();
  KRStdinUnreadMemory();
  EXPECT_EQ(KRStdin.offset, 0u);
  for (std::size_t i = 0; i < kSize; ++i) KRStdinRead(1, "m", &replay[i], 1, 0);
  EXPECT_TRUE(replay == input);
  EXPECT_EQ(KRStdinRead(0, "m", &replay[0], 1, 0), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

}  // namespace
}  // namespace vantrove
