// Block copy from one open stream to another.
#pragma once

#include <cstdio>

namespace vantrove {

// Copies `in` from where it stands to `out` in blocks of 10240 bytes. Reports
// nothing: a read error or a write that writes nothing ends the copy.
void StreamCopy(std::FILE* in, std::FILE* out);

// Copies `in` from where it stands to its end into `out`, as StreamCopy does,
// but through the kernel when `in` is a regular file of 64 KiB or more: both
// streams are flushed, copy_file_range copies into a regular file and
// sendfile into anything else (a pipe, a device), and the output stream then
// goes on from where the copy left its file; `in` is left at its end.
// Whatever the kernel refuses or fails to copy (another file system, an
// output opened for appending, a read or write error) goes through
// StreamCopy from where the kernel stopped, which meets a lasting error again
// and leaves it where StreamCopy always has: a read error in ferror(in) and
// errno, a write error in ferror(out).
void StreamSplice(std::FILE* in, std::FILE* out);

}  // namespace vantrove
