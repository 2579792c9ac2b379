#include "vantrove/io.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace vantrove {

KRStdinRecord KRStdin{};

namespace {

// Read-ahead of the underlying file, so that single bytes come from memory.
constexpr std::size_t kReadAhead = 1 << 16;
constexpr std::size_t kMemoryInitialCapacity = 80;

// The module's state beside KRStdin, private to this file.
struct IoState {
  // Pushed-back bytes in reading order: the pending ones are
  // [pushbackStart, pushback.size()), with free room in front of them, so
  // that pushing back bytes just read needs no move and a run of pending
  // bytes can be taken whole.
  std::vector<std::uint8_t> pushback;
  std::size_t pushbackStart = 0;
  // Left uninitialised: clearing its 64 KiB cost more than reading a small
  // document.
  std::unique_ptr<std::uint8_t[]> readAhead;
  // Bytes consumed while remembering was on, in the order they were read.
  std::vector<std::uint8_t> memory;
  // Scratch space that skipped bytes are read into; it keeps the size of the
  // largest skip so far.
  std::vector<std::uint8_t> dropBuffer;

  // How a fatal error and the process end: registered by the driver at
  // start-up (and by tests and the fuzz harness); KRStdinReset keeps them.
  void (*fatalFinish)() = nullptr;
  void (*failureCleanup)() = nullptr;
  KRExitHook exitHook = nullptr;
};
IoState io;

// Memory held back for the fatal-error document (see KRReserveMemory).
constexpr std::size_t kMemoryReserve = 1 << 20;
std::unique_ptr<char[]> memoryReserve;

void syncPushbackCount() {
  KRStdin.pushbackCount = static_cast<std::uint32_t>(io.pushback.size() - io.pushbackStart);
}

void clearPushback() {
  io.pushback.clear();
  io.pushbackStart = 0;
  syncPushbackCount();
}

// Takes the first `count` pending pushed-back bytes.
void takePushback(std::uint8_t* target, std::size_t count) {
  std::memcpy(target, io.pushback.data() + io.pushbackStart, count);
  io.pushbackStart += count;
  if (io.pushbackStart == io.pushback.size()) {
    clearPushback();
  } else {
    syncPushbackCount();
  }
}

void remember(const std::uint8_t* bytes, std::uint32_t count) {
  if (io.memory.capacity() == 0) io.memory.reserve(kMemoryInitialCapacity);
  io.memory.insert(io.memory.end(), bytes, bytes + count);
}

// Reads up to `count` bytes from the underlying file through the read-ahead
// buffer; a closed stream has none. Fewer bytes than asked means the file is
// at its end or failed.
std::size_t readFile(std::uint8_t* target, std::size_t count) {
  std::size_t got = 0;
  while (got < count) {
    std::size_t available = static_cast<std::size_t>(KRStdin.limit - KRStdin.next);
    if (available == 0) {
      if (KRStdin.file == nullptr) break;
      if (count - got >= kReadAhead) {
        // A large read goes straight to the caller's buffer.
        std::size_t direct = std::fread(target + got, 1, count - got, KRStdin.file);
        got += direct;
        break;
      }
      if (io.readAhead == nullptr) io.readAhead.reset(new std::uint8_t[kReadAhead]);
      available = std::fread(io.readAhead.get(), 1, kReadAhead, KRStdin.file);
      KRStdin.next = io.readAhead.get();
      KRStdin.limit = KRStdin.next + available;
      if (available == 0) break;
    }
    const std::size_t take = std::min(available, count - got);
    std::memcpy(target + got, KRStdin.next, take);
    KRStdin.next += take;
    got += take;
  }
  return got;
}

// Runs the registered fatal-error finish, which ends the process.
[[noreturn]] void fatalFinish() {
  if (io.fatalFinish != nullptr) io.fatalFinish();
  KRExit(1);
}

void diagnostic(const char* message) {
  std::fprintf(stderr, "vantrove: Byte 0%llo: %s\n",
               static_cast<unsigned long long>(KRStdin.lastOffset), message);
}

}  // namespace

void KRStdinOpen(std::FILE* stream) {
  KRStdin.file = stream;
  clearPushback();
  KRStdin.offset = 0;
  KRStdin.lastOffset = 0;
  KRStdin.next = KRStdin.limit = nullptr;
}

int KRStdinRead(int fatal, const char* message, void* buffer, std::uint32_t size,
                std::uint32_t count) {
  if (count == 0) count = size;
  const std::uint32_t n = std::min(size, count);
  auto* target = static_cast<std::uint8_t*>(buffer);

  KRStdin.lastOffset = KRStdin.offset;
  KRStdin.offset += count;  // a failed read still moves the offset

  // Pushed-back bytes come first.
  const std::uint32_t pending = KRStdin.pushbackCount;
  if (pending > n) {
    takePushback(target, n);
  } else if (n > 0) {
    // All pushed-back bytes, then the rest from the file. The pushed-back
    // bytes count as consumed only once the file has delivered the rest: after
    // a short read they are still the next bytes to come.
    if (pending > 0) std::memcpy(target, io.pushback.data() + io.pushbackStart, pending);
    const std::size_t wanted = n - pending;
    const std::size_t got = wanted > 0 ? readFile(target + pending, wanted) : 0;
    if (got < wanted) {
      if (got == 0) {
        if (KRStdin.file != nullptr && std::ferror(KRStdin.file)) KRFatal(std::strerror(errno));
        KRStdinClose();
        if (!fatal) return KRReadEnd;
      } else if (!fatal) {
        return KRReadOther;
      }
      KRFatalFirst(message);
      KRFatalLast("Premature end of file.");
    }
    if (pending > 0) clearPushback();
  }

  if (KRStdin.remembering) remember(target, n);

  if (count > n) {
    // The rest of the count is skipped; it is already counted in the offset, so the
    // skip starts from the offset of its first byte and ends where the offset is now.
    KRStdin.offset = KRStdin.lastOffset + n;
    KRStdinDrop(count - n, message);
  }
  return KRReadMatched;
}

void KRStdinReadByteSlow(const char* message, std::uint8_t* byte) {
  if (KRStdin.pushbackCount != 0 || KRStdin.next != KRStdin.limit) {
    KRStdin.lastOffset = KRStdin.offset++;
    if (KRStdin.pushbackCount != 0) {
      takePushback(byte, 1);
    } else {
      *byte = *KRStdin.next++;
    }
    if (KRStdin.remembering) {
      if (io.memory.capacity() == 0) io.memory.reserve(kMemoryInitialCapacity);
      io.memory.push_back(*byte);
    }
    return;
  }
  KRStdinRead(1, message, byte, 1, 0);
}

std::size_t KRStdinPeek(const std::uint8_t** bytes) {
  if (KRStdin.pushbackCount != 0) {
    *bytes = io.pushback.data() + io.pushbackStart;
    return KRStdin.pushbackCount;
  }
  *bytes = KRStdin.next;
  return static_cast<std::size_t>(KRStdin.limit - KRStdin.next);
}

void KRStdinConsume(std::size_t count) {
  if (count == 0) return;
  const auto taken = static_cast<std::uint32_t>(count);
  KRStdin.lastOffset = KRStdin.offset + taken - 1;
  KRStdin.offset += taken;
  if (KRStdin.pushbackCount != 0) {
    if (KRStdin.remembering) remember(io.pushback.data() + io.pushbackStart, taken);
    io.pushbackStart += count;
    if (io.pushbackStart == io.pushback.size()) {
      clearPushback();
    } else {
      syncPushbackCount();
    }
  } else {
    if (KRStdin.remembering) remember(KRStdin.next, taken);
    KRStdin.next += count;
  }
}

void KRStdinDrop(std::uint32_t count, const char* message) {
  if (count > io.dropBuffer.size()) {
    io.dropBuffer.clear();
    io.dropBuffer.shrink_to_fit();
    io.dropBuffer.resize(count);
  }
  KRStdinRead(1, message, io.dropBuffer.data(), count, 0);
}

namespace {

// Moves the offsets back over `count` pushed-back bytes. Bytes that were never
// read from the file (a unit name put into the text) can be pushed back at
// the very start; offsets stop at zero.
void moveOffsetsBack(std::uint64_t count) {
  KRStdin.offset -= std::min<std::uint64_t>(KRStdin.offset, count);
  KRStdin.lastOffset -= std::min<std::uint64_t>(KRStdin.lastOffset, count);
}

}  // namespace

void KRStdinUnread(const void* bytes, std::uint32_t count) {
  moveOffsetsBack(count);
  const auto* source = static_cast<const std::uint8_t*>(bytes);
  const std::size_t pending = io.pushback.size() - io.pushbackStart;
  if (pending == 0) {
    io.pushback.assign(source, source + count);
    io.pushbackStart = 0;
  } else if (io.pushbackStart >= count) {
    io.pushbackStart -= count;
    std::memcpy(io.pushback.data() + io.pushbackStart, source, count);
  } else {
    // Not enough room in front: rebuild with as much room again as the
    // pending bytes take, so that repeated small push-backs stay linear.
    const std::size_t total = pending + count;
    std::vector<std::uint8_t> grown(2 * total);
    std::memcpy(grown.data() + total, source, count);
    std::memcpy(grown.data() + total + count, io.pushback.data() + io.pushbackStart, pending);
    io.pushback.swap(grown);
    io.pushbackStart = total;
  }
  syncPushbackCount();
  if (KRStdin.remembering)
    io.memory.resize(io.memory.size() > count ? io.memory.size() - count : 0);
}

void KRStdinRemember() {
  KRStdin.remembering = true;
}

void KRStdinForget() {
  KRStdin.remembering = false;
}

void KRStdinUnreadMemory() {
  if (io.memory.empty()) return;
  if (KRStdin.pushbackCount == 0) {
    // Nothing else is pending: the memory becomes the pushed-back bytes as
    // it stands, without a copy (a first line may be megabytes long).
    moveOffsetsBack(io.memory.size());
    io.pushback.swap(io.memory);
    io.pushbackStart = 0;
    syncPushbackCount();
    io.memory.clear();  // the other buffer stays allocated for reuse
    return;
  }
  KRStdinUnread(io.memory.data(), static_cast<std::uint32_t>(io.memory.size()));
  io.memory.clear();  // the buffer stays allocated for reuse
}

void KRStdinClose() {
  clearPushback();
  io.pushback.shrink_to_fit();
  if (KRStdin.file != nullptr) {
    std::fclose(KRStdin.file);
    KRStdin.file = nullptr;
  }
  KRStdin.next = KRStdin.limit = nullptr;
}

void KRStdinReset() {
  if (KRStdin.file != nullptr && KRStdin.file != stdin) std::fclose(KRStdin.file);
  KRStdin = KRStdinRecord{};
  // Fresh buffers give their memory back; the registered finish and hooks stay.
  io.pushback = {};
  io.pushbackStart = 0;
  io.readAhead.reset();
  io.memory = {};
  io.dropBuffer = {};
}

void KRNonFatal(const char* message) {
  diagnostic(message);
}

void KRFatalFirst(const char* message) {
  diagnostic(message);
}

void KRFatalLast(const char* message) {
  std::fprintf(stderr, "%s\n", message);
  fatalFinish();
}

void KRFatal(const char* message) {
  diagnostic(message);
  fatalFinish();
}

void KRFatalStdio() {
  KRFatal("Unable to write to output file.");
}

void KRFatalMemory() {
  memoryReserve.reset();
  KRFatal("Memory is full.");
}

void KRReserveMemory() {
  if (memoryReserve) return;
  // Allocated like everything else, through operator new; when even this
  // cannot be had, the run goes on without a reserve. Its pages are left
  // untouched: what runs out is the address space the allocator may map, and
  // the reserve holds a megabyte of it; clearing the pages would cost a small
  // document's conversion a sixth of its time.
  memoryReserve.reset(new (std::nothrow) char[kMemoryReserve]);
}

void KRSetFatalFinish(void (*finish)()) {
  io.fatalFinish = finish;
}

void KRSetExitHook(KRExitHook hook) {
  io.exitHook = hook;
}

void KRSetFailureCleanup(void (*cleanup)()) {
  io.failureCleanup = cleanup;
}

void KRExit(int status) {
  if (status != 0 && io.failureCleanup != nullptr) io.failureCleanup();
  if (io.exitHook != nullptr) io.exitHook(status);
  std::exit(status);
}

}  // namespace vantrove
