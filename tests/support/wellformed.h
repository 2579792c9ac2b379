// A structural check of Tyx output: every statement opened with "<" is closed
// with ">" in order, outside quoted texts and comments.
#pragma once

#include <string>

namespace vtest {

// Empty when the text is well formed, else a description of the first fault.
std::string tyxFault(const std::string& text);

}  // namespace vtest
