#include "vantrove/io.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "support/dca_builder.h"
#include "vantrove/fontctl.h"
#include "vantrove/krtypes.h"
#include "vantrove/main.h"

namespace vantrove {
namespace {

using dca::Bytes;
using dca::operator+;
using testing::StartsWith;

struct Exited {
  int status;
};

class IoTest : public testing::Test {
 protected:
  void SetUp() override {
    dca::loadTestFontMap();
    KRResetAll();
    KRSetExitHook([](int status) { throw Exited{status}; });
  }
  void TearDown() override {
    KRSetExitHook(nullptr);
    KRResetAll();
  }

  static void open(const Bytes& bytes) { KRStdinOpen(nullptr, nullptr, dca::openBytes(bytes)); }

  static Bytes read(std::uint32_t size, std::uint32_t count = 0) {
    Bytes buffer(size);
    EXPECT_EQ(KRStdinRead(1, "Expected test bytes.", buffer.data(), size, count), 2);
    return buffer;
  }

  // Runs `body`, which must end the process, and returns its status and stderr.
  template <typename Body>
  static std::pair<int, std::string> exitOf(Body body) {
    testing::internal::CaptureStderr();
    int status = -1;
    try {
      body();
    } catch (const Exited& exited) {
      status = exited.status;
    }
    return {status, testing::internal::GetCapturedStderr()};
  }
};

Bytes counting(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
  return bytes;
}

TEST_F(IoTest, CountBeyondSizeSkipsTheRestAndCountZeroMeansSize) {
  const Bytes input = counting(64);
  open(input);
  EXPECT_EQ(read(19, 40), Bytes(input.begin(), input.begin() + 19));
  EXPECT_EQ(KRStdin.offset, 40u);
  EXPECT_EQ(KRStdin.lastOffset, 19u);  // the skip began at the first skipped byte
  EXPECT_EQ(read(4), Bytes(input.begin() + 40, input.begin() + 44));
  EXPECT_EQ(KRStdin.offset, 44u);
  EXPECT_EQ(KRStdin.lastOffset, 40u);
}

TEST_F(IoTest, PushedBackBytesComeFirstNewestInFront) {
  const Bytes input = counting(200);
  open(input);
  read(100);
  const Bytes five = read(5);
  KRStdinUnread(five.data(), 5);
  EXPECT_EQ(KRStdin.offset, 100u);
  EXPECT_EQ(KRStdin.lastOffset, 95u);

  const Bytes pushed = dca::raw({0xA1, 0xA2, 0xA3, 0xA4, 0xA5});
  KRStdinUnread(pushed.data(), 5);
  EXPECT_EQ(read(3), dca::raw({0xA1, 0xA2, 0xA3}));
  EXPECT_EQ(read(4), dca::raw({0xA4, 0xA5}) + Bytes(five.begin(), five.begin() + 2));

  const Bytes first = dca::raw({1, 2}), second = dca::raw({3, 4});
  KRStdinUnread(first.data(), 2);
  KRStdinUnread(second.data(), 2);
  EXPECT_EQ(read(7), dca::raw({3, 4, 1, 2}) + Bytes(five.begin() + 2, five.end()));
  EXPECT_EQ(KRStdin.offset, 105u);
}

TEST_F(IoTest, RememberedBytesReplayFromWhereRememberingBegan) {
  const Bytes input = counting(40);
  open(input);
  read(3);
  KRStdinRemember();
  read(6);
  const Bytes four = read(4);
  KRStdinUnread(four.data(), 4);  // unread bytes leave the memory
  read(4);
  KRStdinForget();
  KRStdinUnreadMemory();
  EXPECT_EQ(KRStdin.offset, 3u);
  EXPECT_EQ(read(10), Bytes(input.begin() + 3, input.begin() + 13));
  EXPECT_EQ(read(1), Bytes{input[13]});
}

TEST_F(IoTest, EndOfInputIsMetAgainAndFatalReadsReportIt) {
  open(dca::raw({1, 2, 3}));
  std::uint8_t buffer[5];
  EXPECT_EQ(KRStdinRead(0, "m", buffer, 5, 0), 1);
  EXPECT_EQ(KRStdinRead(0, "m", buffer, 1, 0), 0);
  EXPECT_EQ(KRStdin.file, nullptr);
  EXPECT_EQ(KRStdinRead(0, "m", buffer, 1, 0), 0);
  const Bytes pushed = dca::raw({7, 8});
  KRStdinUnread(pushed.data(), 2);
  EXPECT_EQ(read(2), pushed);  // the offset went 5, 6, 7, back to 5 and on to 7
  auto [status, err] = exitOf([] { read(1); });
  EXPECT_EQ(status, 0);
  EXPECT_THAT(err, StartsWith("vantrove: Byte 07: Expected test bytes.\nPremature end of file.\n"));
}

TEST_F(IoTest, DiagnosticsPrintTheOffsetInOctal) {
  open(counting(8));
  testing::internal::CaptureStderr();
  KRNonFatal("At the start.");
  read(8);
  KRNonFatal("Still at the start of the last read.");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "vantrove: Byte 00: At the start.\n"
            "vantrove: Byte 00: Still at the start of the last read.\n");

  auto [status, err] = exitOf([] { read(1); });
  EXPECT_EQ(status, 0);
  EXPECT_THAT(err,
              StartsWith("vantrove: Byte 010: Expected test bytes.\nPremature end of file.\n"));

  KRResetAll();
  err = exitOf([] {
          KRFatalFirst("First.");
          KRFatalNext("Next.");
          KRFatalLast("Last.");
        }).second;
  EXPECT_THAT(err, StartsWith("vantrove: Byte 00: First.\nNext.\nLast.\n"));
  KRResetAll();
  EXPECT_THAT(exitOf(KRFatalStdio).second,
              StartsWith("vantrove: Byte 00: Unable to write to output file.\n"));
  KRResetAll();
  EXPECT_THAT(exitOf(KRFatalMemory).second, StartsWith("vantrove: Byte 00: Memory is full.\n"));
}

TEST_F(IoTest, OpenAndReadFailuresReportTheSystemError) {
  auto [status, err] = exitOf([] { KRStdinOpen("/nonexistent-dir/input.dca", "r", nullptr); });
  EXPECT_EQ(status, 0);
  EXPECT_THAT(err, StartsWith(std::string("vantrove: Byte 00: ") + std::strerror(ENOENT) + "\n"));

  KRResetAll();
  KRStdinOpen(nullptr, nullptr, std::fopen("/dev/null", "w"));
  err = exitOf([] { read(1); }).second;
  EXPECT_THAT(err, StartsWith(std::string("vantrove: Byte 00: ") + std::strerror(EBADF) + "\n"));
}

TEST_F(IoTest, APushedBackMegabyteReadsBackOneByteAtATimeInLinearTime) {
  constexpr std::size_t kSize = 1 << 20;
  const Bytes input = counting(kSize);
  open(input);
  const auto start = std::chrono::steady_clock::now();
  KRStdinRemember();
  std::uint8_t byte;
  for (std::size_t i = 0; i < kSize; ++i) KRStdinRead(1, "m", &byte, 1, 0);
  KRStdinForget();
  KRStdinUnreadMemory();
  EXPECT_EQ(KRStdin.offset, 0u);
  bool same = true;
  for (std::size_t i = 0; i < kSize; ++i) {
    KRStdinRead(1, "m", &byte, 1, 0);
    same = same && byte == input[i];
  }
  EXPECT_TRUE(same);
  EXPECT_EQ(KRStdinRead(0, "m", &byte, 1, 0), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST_F(IoTest, EbcdicStringsConvertThroughTheDocumentFont) {
  Bytes text = dca::ebc("Hi, 2!") + Bytes{0};
  KREbcdic2Ascii(text.data(), text.data());  // no font bound yet: unchanged
  EXPECT_EQ(text, dca::ebc("Hi, 2!") + Bytes{0});

  KRGlobal.documentFont.gfid = 26;
  ibmFontSetGfid(&KRGlobal.documentFont, &KRGlobal.documentFont);
  KREbcdic2Ascii(text.data(), text.data());
  EXPECT_STREQ(reinterpret_cast<const char*>(text.data()), "Hi, 2!");
}

}  // namespace
}  // namespace vantrove
