// Open-file dialog filters in FLTK's notation.
#pragma once

#include <string>

#include "platform/platform.h"

namespace platform::fltk {

// "SWP files" with "*.swp" becomes "SWP files (*.swp)"; several patterns
// ("*.a;*.b", as Windows lists them) become one alternative ("{*.a,*.b}").
std::string FltkFilter(const FileFilter& filter);

}  // namespace platform::fltk
