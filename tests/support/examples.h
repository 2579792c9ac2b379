// The sample documents shipped in examples/, built with the DCA builder from
// text written for this project.
#pragma once

#include <string>
#include <vector>

#include "support/dca_builder.h"

namespace vtest {

struct Example {
  std::string name;  // file name without extension
  dca::Bytes document;
};

std::vector<Example> examples();

}  // namespace vtest
