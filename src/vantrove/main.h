// Program entry, the translation driver, output assembly and the fatal-error
// document.
#pragma once

namespace vantrove {

// The whole program; never returns (every run ends in KRExit).
[[noreturn]] void KRMain(int argc, char** argv);
void KRTranslate();
[[noreturn]] void KRShutDown();
[[noreturn]] void KRFatalFinish();
void KRFatalPuts(const char* text);

// Returns every module to its state at program start, except the font map
// (tests and fuzzing).
void KRResetAll();

}  // namespace vantrove
