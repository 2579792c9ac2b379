// Preloaded into the program by tests: every read of a file whose path begins
// with $FAILING_READ_PREFIX fails as a real read error would, through fread
// and through the kernel copies (copy_file_range, sendfile). The descriptor is
// made write-only underneath the caller, so that the C library's own read, or
// the kernel's copy, fails with EBADF and the stream's error indicator is set
// as for any failed read. Each function that broke a descriptor so appends
// its name to $FAILING_READ_LOG, when that is set, so that a test can tell
// which way the file was read first.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using Fread = std::size_t (*)(void*, std::size_t, std::size_t, std::FILE*);
using CopyFileRange = ssize_t (*)(int, off_t*, int, off_t*, std::size_t, unsigned);
using SendFile = ssize_t (*)(int, int, off_t*, std::size_t);

bool matches(int descriptor) {
  const char* prefix = std::getenv("FAILING_READ_PREFIX");
  if (prefix == nullptr || *prefix == '\0' || descriptor < 0) return false;
  char path[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(descriptor);
  const ssize_t length = readlink(link.c_str(), path, sizeof path - 1);
  if (length < 0) return false;
  path[length] = '\0';
  return std::strncmp(path, prefix, std::strlen(prefix)) == 0;
}

// Makes the descriptor write-only when it names a file that must fail, and
// notes who did.
void breakIfMatching(int descriptor, const char* caller) {
  if (!matches(descriptor)) return;
  const int writeOnly = open("/dev/null", O_WRONLY);
  if (writeOnly >= 0) {
    dup2(writeOnly, descriptor);
    close(writeOnly);
  }
  if (const char* log = std::getenv("FAILING_READ_LOG")) {
    const int file = open(log, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (file >= 0) {
      const std::string line = std::string(caller) + "\n";
      [[maybe_unused]] const ssize_t written = write(file, line.data(), line.size());
      close(file);
    }
  }
}

}  // namespace

extern "C" std::size_t fread(void* buffer, std::size_t size, std::size_t count, std::FILE* stream) {
  static const auto real = reinterpret_cast<Fread>(dlsym(RTLD_NEXT, "fread"));
  breakIfMatching(fileno(stream), "fread");
  return real(buffer, size, count, stream);
}

extern "C" ssize_t copy_file_range(int in, off_t* inOffset, int out, off_t* outOffset,
                                   std::size_t length, unsigned flags) {
  static const auto real = reinterpret_cast<CopyFileRange>(dlsym(RTLD_NEXT, "copy_file_range"));
  breakIfMatching(in, "copy_file_range");
  return real(in, inOffset, out, outOffset, length, flags);
}

extern "C" ssize_t sendfile(int out, int in, off_t* offset, std::size_t count) {
  static const auto real = reinterpret_cast<SendFile>(dlsym(RTLD_NEXT, "sendfile"));
  breakIfMatching(in, "sendfile");
  return real(out, in, offset, count);
}

extern "C" ssize_t sendfile64(int out, int in, off_t* offset, std::size_t count) {
  static const auto real = reinterpret_cast<SendFile>(dlsym(RTLD_NEXT, "sendfile64"));
  breakIfMatching(in, "sendfile64");
  return real(out, in, offset, count);
}
