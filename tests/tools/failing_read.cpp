// Preloaded into the program by tests: every fread from a file whose path
// begins with $FAILING_READ_PREFIX fails as a real read error would (the
// descriptor is made write-only underneath the stream, so the C library's own
// read fails with EBADF and sets the stream's error indicator).
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

using Fread = std::size_t (*)(void*, std::size_t, std::size_t, std::FILE*);

bool matches(std::FILE* stream) {
  const char* prefix = std::getenv("FAILING_READ_PREFIX");
  if (prefix == nullptr || *prefix == '\0') return false;
  char path[4096];
  const std::string link = "/proc/self/fd/" + std::to_string(fileno(stream));
  const ssize_t length = readlink(link.c_str(), path, sizeof path - 1);
  if (length < 0) return false;
  path[length] = '\0';
  return std::strncmp(path, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

extern "C" std::size_t fread(void* buffer, std::size_t size, std::size_t count, std::FILE* stream) {
  static const auto real = reinterpret_cast<Fread>(dlsym(RTLD_NEXT, "fread"));
  if (matches(stream)) {
    const int writeOnly = open("/dev/null", O_WRONLY);
    if (writeOnly >= 0) {
      dup2(writeOnly, fileno(stream));
      close(writeOnly);
    }
  }
  return real(buffer, size, count, stream);
}
