// The demo level that wildview-mklevel writes: the same bytes on every run.
#pragma once

#include <string>

namespace wvwrite {

// Writes DIR/demo.grf, DIR/demo-130.pid and DIR/demo-130.swp.
bool WriteDemoLevel(const std::string& dir, std::string* error);

}  // namespace wvwrite
