// The input byte stream and the diagnostics.
//
// Every reader asks the stream for an exact number of bytes and names the
// message to give when they are missing. Bytes may be pushed back to be read
// again; they are kept in reading order with free room in front, so that a
// push-back seldom moves bytes already pushed back and a run of them can be
// taken whole. While remembering is on, every byte consumed is also appended
// to the memory, which can be pushed back whole. `offset` counts consumed
// bytes (push-back moves it back, as it does `lastOffset`) and `lastOffset` is
// where the most recent read began: diagnostics print it. Once a read has met
// the end of the input the file is closed and every later read that needs the
// file meets the end again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace vantrove {

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

void KRStdinOpen(const char* name, const char* mode, std::FILE* stream);
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
// Converts a zero-terminated EBCDIC string through the document default font's
// code table; source and target may be the same buffer.
void KREbcdic2Ascii(const std::uint8_t* source, std::uint8_t* target);
// One byte through the same table (identity while no font map entry is bound).
std::uint8_t KREbcdicChar(std::uint8_t byte);
// Resets the stream, its memory and drop buffer, closing a file still open
// unless it is stdin (tests and fuzzing).
void KRStdinReset();

// Diagnostics: "vantrove: Byte 0%o: %s\n" with KRStdin.lastOffset.
void KRNonFatal(const char* message);
void KRFatalFirst(const char* message);
void KRFatalNext(const char* message);
[[noreturn]] void KRFatalLast(const char* message);
[[noreturn]] void KRFatal(const char* message);
[[noreturn]] void KRFatalStdio();
[[noreturn]] void KRFatalMemory();

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
