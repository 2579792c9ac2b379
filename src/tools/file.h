// Temporary file names and path components.
#pragma once

namespace vantrove {

// Creates (if missing) and names a temporary file "<dir>/<prefix>.<pid>.<n>",
// trying `dir`, $TMPDIR, /tmp, $HOME and the current directory. The text lives
// in a buffer reused by the next call; null with errno set on failure.
char* FileGetTmpFileName(const char* dir, const char* prefix);
// The last path component (a pointer into `path`), or null for null.
const char* basename(const char* path);

// Forgets the cached process id, counter and environment (tests only).
void FileReset();

}  // namespace vantrove
