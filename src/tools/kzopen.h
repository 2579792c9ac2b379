// Opening files through the search path: the name itself (after tilde
// expansion), $HOME/name, $KZHOME/kzinit/filters/name, $KZHOME/.corlainit/name.
// Without KZHOME the folder above the one holding the running program stands in
// for it, so an installed tree finds its own font map wherever it was put.
#pragma once

#include <cstdio>

namespace vantrove {

// The first candidate that opens with `mode`, or null (errno from the last try).
std::FILE* kzopen(const char* name, const char* mode);
// The root of the installed tree the running program belongs to (the folder
// above its own, through /proc/self/exe), or null when it cannot be found.
const char* kzopenDefaultHome();
// Rewrites "~/x" and "~user/x" in place with the home directory from the
// password database; `name` must have room for 257 bytes.
void expandTilde(char* name);

}  // namespace vantrove
