// Block copy between two open streams, and the same through the kernel.
#include "tools/stream.h"

#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace vantrove {

namespace {

// Files smaller than this go through the buffers: a kernel copy first writes
// out what the output's buffer holds and costs a few more system calls,
// more than copying a small file through memory.
constexpr off_t kKernelCopyMinimum = off_t{1} << 16;
// The most one system call is asked to copy (sendfile copies at most about
// 2 GiB a call anyway).
constexpr off_t kKernelChunk = off_t{1} << 30;

enum class KernelCopy { CopyFileRange, SendFile };

// Copies descriptor `from` from its file offset, `position`, up to `end`, to
// the file offset of descriptor `to`; both offsets and `position` move on by
// what was copied. True when all of it was.
bool kernelCopy(KernelCopy how, int from, off_t& position, off_t end, int to) {
  while (position < end) {
    const auto count = static_cast<std::size_t>(std::min(end - position, kKernelChunk));
    const ssize_t copied = how == KernelCopy::CopyFileRange
                               ? copy_file_range(from, nullptr, to, nullptr, count, 0)
                               : sendfile(to, from, nullptr, count);
    // Refused, failed, or the file is shorter than it was.
    if (copied <= 0) return false;
    position += copied;
  }
  return true;
}

}  // namespace

void StreamCopy(std::FILE* in, std::FILE* out) {
  std::array<char, 10240> block;
  for (;;) {
    errno = 0;
    const std::size_t got = std::fread(block.data(), 1, block.size(), in);
    if (got == 0 && errno > 0) return;  // read error
    const bool atEnd = got == 0;
    errno = 0;
    // A zero-length write reports 0 and so ends the copy after end of input.
    const std::size_t put = std::fwrite(block.data(), 1, got, out);
    if (put == 0 || atEnd) return;
  }
}

void StreamSplice(std::FILE* in, std::FILE* out) {
  const int from = fileno(in);
  const int to = fileno(out);
  struct stat source {};
  struct stat target {};
  off_t position = -1;
  // The streams' buffers go first: what `out` holds precedes the copy, and
  // `in` is read from the position its reader sees (fflush leaves the
  // descriptor's offset there).
  if (from < 0 || to < 0 || std::fflush(in) != 0 || fstat(from, &source) != 0 ||
      !S_ISREG(source.st_mode) || source.st_size < kKernelCopyMinimum ||
      (position = ftello(in)) < 0 || source.st_size - position < kKernelCopyMinimum ||
      fstat(to, &target) != 0 || std::fflush(out) != 0) {
    StreamCopy(in, out);
    return;
  }
  const off_t start = position;
  // copy_file_range takes regular files only; sendfile writes anywhere.
  bool copied = S_ISREG(target.st_mode) &&
                kernelCopy(KernelCopy::CopyFileRange, from, position, source.st_size, to);
  if (!copied) copied = kernelCopy(KernelCopy::SendFile, from, position, source.st_size, to);
  if (position != start && S_ISREG(target.st_mode)) {
    // The kernel moved the output's offset behind the stream's back: the
    // stream takes it up again from there.
    const off_t end = lseek(to, 0, SEEK_CUR);
    if (end >= 0) fseeko(out, end, SEEK_SET);
  }
  if (copied) return;
  // The rest, from where the kernel stopped.
  if (position != start) fseeko(in, position, SEEK_SET);
  StreamCopy(in, out);
}

}  // namespace vantrove
