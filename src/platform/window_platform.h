// The window system the viewer runs on, chosen when the program is built:
// one implementation per backend folder (fltk/ on Linux).
#pragma once

#include <memory>
#include <string>

#include "platform/platform.h"

namespace platform {

// The viewer's platform, or null when no window can be opened here (no
// display), with the reason.
std::unique_ptr<Platform> CreateWindowPlatform(std::string& whyNot);

}  // namespace platform
