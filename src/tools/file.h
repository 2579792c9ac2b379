// Temporary file names and path components.
#pragma once

namespace vantrove {

// Creates a new, private (mode 0600) temporary file "<dir>/<prefix>.<pid>.<n>",
// trying `dir`, $TMPDIR, /tmp, $HOME and the current directory. A name that
// already exists, or is a symbolic link, is never opened: the counter <n>
// moves on (a bounded number of times) in the same folder, then the next
// folder is tried. The open descriptor is stored in `descriptor` when given,
// so the caller never has to open the file again by name; otherwise it is
// closed. The text lives in a buffer reused by the next call; null with errno
// set on failure.
char* FileGetTmpFileName(const char* dir, const char* prefix, int* descriptor = nullptr);
// The last path component (a pointer into `path`), or null for null.
const char* basename(const char* path);

// Forgets the cached process id, counter and environment (tests only).
void FileReset();

}  // namespace vantrove
