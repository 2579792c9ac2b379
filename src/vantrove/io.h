// The input byte stream and the diagnostics.
//
// Every reader asks the stream for an exact number of bytes and names the
// message to give when they are missing. Bytes may be pushed back to be read
// again; they are kept in reading order with free room in front, so that a
// push-back seldom moves bytes already pushed back and a run of them can be
// taken whole. While remembering is on, every byte consumed is also appended
// to the memory, which can be pushed back whole. The offset counts consumed
// bytes (push-back moves it back, as it does the last offset) and the last
// offset is where the most recent read began: diagnostics print it. Once a
// read has met the end of the input the file is closed and every later read
// that needs the file meets the end again.
//
// This module depends on nothing else of the converter: a fatal error ends in
// the finish that the driver registers with KRSetFatalFinish.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace vantrove {

// Results of the stream's reads and of the structured field and parameter
// readers built on them.
constexpr int KRReadEnd = 0;      // the input is at its end
constexpr int KRReadOther = 1;    // the next field is something else (pushed back)
constexpr int KRReadMatched = 2;  // the field was read

// An unsigned 16-bit big-endian value, the form of every length and
// position in DCA data.
constexpr std::uint32_t KRBe16(const std::uint8_t* bytes) {
  return (std::uint32_t{bytes[0]} << 8) | std::uint32_t{bytes[1]};
}

// The part of the stream's state that the inline reader below needs; the rest
// is private to io.cpp. Other modules go through the functions of this header.
struct KRStdinRecord {
  std::FILE* file;
  // 64 bits: documents above 4 GiB keep exact offsets.
  std::uint64_t offset;
  std::uint64_t lastOffset;
  std::uint32_t pushbackCount;
  bool remembering;
  // Bytes read ahead from `file` and not yet consumed: [next, limit).
  const std::uint8_t* next;
  const std::uint8_t* limit;
};

extern KRStdinRecord KRStdin;

// The input offset of the next byte, and where the most recent read began.
inline std::uint64_t KRStdinOffset() {
  return KRStdin.offset;
}
inline std::uint64_t KRStdinLastOffset() {
  return KRStdin.lastOffset;
}

void KRStdinOpen(std::FILE* stream);
// 2: all bytes read; 1: some but not all (fatal 0 only); 0: none, at end (fatal 0 only).
// `count` 0 means `size`; the first min(size, count) bytes go to `buffer`.
int KRStdinRead(int fatal, const char* message, void* buffer, std::uint32_t size,
                std::uint32_t count);
void KRStdinReadByteSlow(const char* message, std::uint8_t* byte);
// One byte, fatal with `message` at the end of the input: KRStdinRead(1,
// message, byte, 1, 0) with the common case (nothing pushed back, nothing to
// remember, the byte already read ahead) inline, since body text is read a
// byte at a time.
inline void KRStdinReadByte(const char* message, std::uint8_t* byte) {
  if (KRStdin.pushbackCount == 0 && !KRStdin.remembering && KRStdin.next != KRStdin.limit) {
    KRStdin.lastOffset = KRStdin.offset++;
    *byte = *KRStdin.next++;
    return;
  }
  KRStdinReadByteSlow(message, byte);
}
// Bulk reading of body text. KRStdinPeek shows the bytes that single-byte
// reads would deliver next without reading the file (the pushed-back bytes,
// else what is left of the read-ahead); none when the next byte must come
// from the file. KRStdinConsume(count) then takes the first `count` of them
// exactly as `count` single-byte reads would: offsets move, and the bytes
// are remembered when remembering is on.
std::size_t KRStdinPeek(const std::uint8_t** bytes);
void KRStdinConsume(std::size_t count);
void KRStdinDrop(std::uint32_t count, const char* message);
void KRStdinUnread(const void* bytes, std::uint32_t count);
void KRStdinRemember();
void KRStdinForget();
void KRStdinUnreadMemory();
void KRStdinClose();
// Resets the stream, its memory and drop buffer, closing a file still open
// unless it is stdin (tests and fuzzing). The registered finish and hooks stay.
void KRStdinReset();

// Diagnostics: "vantrove: Byte 0%o: %s\n" with the last offset.
void KRNonFatal(const char* message);
void KRFatalFirst(const char* message);
[[noreturn]] void KRFatalLast(const char* message);
[[noreturn]] void KRFatal(const char* message);
[[noreturn]] void KRFatalStdio();
[[noreturn]] void KRFatalMemory();

// What a fatal error runs after its diagnostic: the driver's fatal-error
// document, which must end the process. Without one a fatal error ends the
// process with status 1.
void KRSetFatalFinish(void (*finish)());

// Sets aside a little memory at start-up; the first failed allocation gives
// it back, so that the "Memory is full." document can still be written.
void KRReserveMemory();

// Every end of the process goes through here. An unsuccessful end (nonzero
// status) first runs the cleanup the driver registered, which removes the
// files the run made. A hook (set by tests and the fuzz harness) may then take
// over instead of std::exit; it must not return.
using KRExitHook = void (*)(int status);
void KRSetExitHook(KRExitHook hook);
void KRSetFailureCleanup(void (*cleanup)());
[[noreturn]] void KRExit(int status);

}  // namespace vantrove
