// The command line, the translation driver, output assembly and the
// fatal-error document.
#pragma once

#include <cstdio>

namespace vantrove {

// The whole program; never returns (every run ends in KRExit).
[[noreturn]] void KRMain(int argc, char** argv);
// Creates the temporary files and converts `input` into `output` (a font map
// must have been loaded); never returns.
[[noreturn]] void KRRun(std::FILE* input, std::FILE* output);
void KRTranslate();
[[noreturn]] void KRShutDown();
[[noreturn]] void KRFatalFinish();
void KRFatalPuts(const char* text);

// Returns every module to its state at program start, except the font map and
// the program name, closing and removing temporary files a run left behind
// (tests and fuzzing).
void KRResetAll();

}  // namespace vantrove
