#include "platform/platform.h"

#include "platform/console_platform.h"

namespace platform {

namespace {
ConsolePlatform& Console() {
    static ConsolePlatform console;
    return console;
}
Platform* installed = nullptr;
}  // namespace

Platform& Current() { return installed ? *installed : Console(); }

void Install(Platform* platform) { installed = platform; }

}  // namespace platform
