// Opening files through the search path: the name itself (after tilde
// expansion), $HOME/name, $KZHOME/kzinit/filters/name, $KZHOME/.corlainit/name.
#pragma once

#include <cstdio>

namespace vantrove {

// The first candidate that opens with `mode`, or null (errno from the last try).
std::FILE* kzopen(const char* name, const char* mode);
// Rewrites "~/x" and "~user/x" in place with the home directory from the
// password database; `name` must have room for 257 bytes.
void expandTilde(char* name);

}  // namespace vantrove
