// Opening files through the search path, with "~" and "~user" expansion.
#include "tools/kzopen.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace vantrove {

namespace {

// Path names are composed in buffers of 256 characters and the terminator.
constexpr std::size_t kPathBufferSize = 257;

// Formats into `buffer`; false when the result would not fit (the candidate is
// then skipped rather than truncated).
bool composePath(char (&buffer)[kPathBufferSize], const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(buffer, kPathBufferSize, format, args);
  va_end(args);
  return length >= 0 && static_cast<std::size_t>(length) < kPathBufferSize;
}

std::FILE* tryOpen(const char* path, const char* mode) {
  return std::fopen(path, mode);
}

}  // namespace

const char* kzopenDefaultHome() {
  // The installed tree is <root>/bin/vantrove and <root>/kzinit/filters/dca.am,
  // so the root is two components up from the running program.
  static char root[4096];
  static int known = -1;
  if (known < 0) {
    const ssize_t length = readlink("/proc/self/exe", root, sizeof root - 1);
    known = length > 0 && root[0] == '/';
    root[known ? length : 0] = '\0';
    for (int up = 0; up < 2; ++up) {
      if (char* slash = std::strrchr(root, '/')) *slash = '\0';
    }
    if (known && root[0] == '\0') std::strcpy(root, "/");
  }
  return known ? root : nullptr;
}

void expandTilde(char* name) {
  if (name == nullptr || name[0] != '~') return;

  const char* user = nullptr;
  const char* remainder = nullptr;
  passwd* account = nullptr;
  if (name[1] == '/') {
    user = std::getenv("USER");
    if (user == nullptr) return;
    remainder = name + 1;
    account = getpwnam(user);
  } else {
    char* slash = std::strchr(name + 1, '/');
    if (slash == nullptr) return;  // a lone "~" or "~user" with nothing behind it
    *slash = '\0';
    account = getpwnam(name + 1);
    *slash = '/';
    remainder = slash;
  }
  if (account == nullptr || account->pw_dir == nullptr) return;

  char expanded[kPathBufferSize];
  if (!composePath(expanded, "%s%s", account->pw_dir, remainder)) return;
  std::memcpy(name, expanded, std::strlen(expanded) + 1);
}

std::FILE* kzopen(const char* name, const char* mode) {
  if (name == nullptr) {
    errno = EINVAL;
    return nullptr;
  }

  char expandedName[kPathBufferSize];
  if (name[0] == '~' && std::strlen(name) < kPathBufferSize) {
    std::memcpy(expandedName, name, std::strlen(name) + 1);
    expandTilde(expandedName);
    name = expandedName;
  }

  if (std::FILE* stream = tryOpen(name, mode)) return stream;

  char candidate[kPathBufferSize];
  if (const char* home = std::getenv("HOME")) {
    if (composePath(candidate, "%s/%s", home, name)) {
      if (std::FILE* stream = tryOpen(candidate, mode)) return stream;
    }
  }

  const char* kzhome = std::getenv("KZHOME");
  if (kzhome == nullptr) kzhome = kzopenDefaultHome();
  if (kzhome == nullptr) return nullptr;
  if (composePath(candidate, "%s/%s/%s", kzhome, "kzinit/filters", name)) {
    if (std::FILE* stream = tryOpen(candidate, mode)) return stream;
  }
  if (composePath(candidate, "%s/.corlainit/%s", kzhome, name)) {
    if (std::FILE* stream = tryOpen(candidate, mode)) return stream;
  }
  return nullptr;
}

}  // namespace vantrove
