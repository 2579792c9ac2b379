// Temporary file names and the last component of a path.
#include "tools/file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <string>

namespace vantrove {

namespace {

// Room for the two dots and the two decimal numbers of "%s.%d.%d".
constexpr std::size_t kNumberRoom = 66;

// The one buffer every temporary name is composed in; it only ever grows.
struct NameBuffer {
  char* text = nullptr;
  std::size_t capacity = 0;

  ~NameBuffer() { delete[] text; }
};

NameBuffer tmpNameBuffer;
pid_t tmpPid = 0;
unsigned tmpCounter = 0;
// "TMPDIR" and "HOME", copied once found: later changes of the environment
// do not move the temporary files.
std::optional<std::string> tmpDirEnv;
std::optional<std::string> tmpHomeEnv;

void readOnce(std::optional<std::string>& cached, const char* variable) {
  if (cached) return;
  if (const char* value = std::getenv(variable)) cached = value;
}

const char* valueOf(const std::optional<std::string>& cached) {
  return cached ? cached->c_str() : nullptr;
}

// Makes the buffer hold at least `needed` bytes; false when it cannot.
bool FileGetNameBuffer(std::size_t needed) {
  if (needed > tmpNameBuffer.capacity) {
    char* grown = new (std::nothrow) char[needed + 1];
    delete[] tmpNameBuffer.text;
    tmpNameBuffer.text = grown;
    tmpNameBuffer.capacity = grown != nullptr ? needed + 1 : 0;
  }
  return tmpNameBuffer.text != nullptr;
}

// How many counters one folder is given when the names are already taken
// (left over from a killed run, or planted by someone else) before the next
// folder is tried.
constexpr int kTriesPerFolder = 64;

enum class Attempt { kCreated, kTaken, kFailed, kNoBuffer };

// Composes "<directory>/<prefix>.<pid>.<counter>" (no directory part when
// `directory` is null) and creates the file. The file must be new: an
// existing file or a symbolic link at that name is never opened, so nobody
// can make the program write through a link or read what it writes.
Attempt tryName(const char* directory, const char* prefix, int* descriptor) {
  const std::size_t directoryLength = directory != nullptr ? std::strlen(directory) + 1 : 0;
  if (!FileGetNameBuffer(directoryLength + std::strlen(prefix) + kNumberRoom)) {
    return Attempt::kNoBuffer;
  }
  if (directory != nullptr) {
    std::snprintf(tmpNameBuffer.text, tmpNameBuffer.capacity, "%s/%s.%d.%u", directory, prefix,
                  static_cast<int>(tmpPid), tmpCounter);
  } else {
    std::snprintf(tmpNameBuffer.text, tmpNameBuffer.capacity, "%s.%d.%u", prefix,
                  static_cast<int>(tmpPid), tmpCounter);
  }
  const int created =
      open(tmpNameBuffer.text, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (created < 0) return errno == EEXIST || errno == ELOOP ? Attempt::kTaken : Attempt::kFailed;
  if (descriptor != nullptr) {
    *descriptor = created;
  } else {
    close(created);
  }
  return Attempt::kCreated;
}

}  // namespace

char* FileGetTmpFileName(const char* dir, const char* prefix, int* descriptor) {
  if (prefix == nullptr) prefix = "";
  if (tmpPid == 0) tmpPid = getpid();
  ++tmpCounter;

  // The candidates in order; "TMPDIR" and "HOME" are only looked at when
  // their turn comes, so a name made in `dir` or in /tmp reads neither.
  for (int candidate = 0; candidate < 5; ++candidate) {
    const char* directory = nullptr;
    switch (candidate) {
      case 0:
        if (dir == nullptr) continue;
        directory = dir;
        break;
      case 1:
        readOnce(tmpDirEnv, "TMPDIR");
        directory = valueOf(tmpDirEnv);
        if (directory == nullptr) continue;
        break;
      case 2:
        directory = "/tmp";
        break;
      case 3:
        readOnce(tmpHomeEnv, "HOME");
        directory = valueOf(tmpHomeEnv);
        if (directory == nullptr) continue;
        break;
      default:
        break;  // the current directory: no directory part
    }
    // A name that is taken moves the counter on in the same folder; a
    // folder that refuses the file moves on to the next folder.
    for (int tries = 0;; ++tries) {
      const Attempt attempt = tryName(directory, prefix, descriptor);
      if (attempt == Attempt::kCreated) return tmpNameBuffer.text;
      if (attempt == Attempt::kNoBuffer) {
        errno = ENOMEM;
        return nullptr;
      }
      if (attempt == Attempt::kFailed || tries + 1 == kTriesPerFolder) break;
      ++tmpCounter;
    }
  }
  return nullptr;  // errno is what the last open left
}

const char* basename(const char* path) {
  if (path == nullptr) return nullptr;
  const char* last = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' && p[1] != '\0') last = p + 1;
  }
  return last;
}

void FileReset() {
  delete[] tmpNameBuffer.text;
  tmpNameBuffer.text = nullptr;
  tmpNameBuffer.capacity = 0;
  tmpPid = 0;
  tmpCounter = 0;
  tmpDirEnv.reset();
  tmpHomeEnv.reset();
}

}  // namespace vantrove
