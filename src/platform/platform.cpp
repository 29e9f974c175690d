#include "platform/platform.h"

#include <algorithm>

#include "platform/console_platform.h"

#include <cctype>

namespace platform {

namespace {
ConsolePlatform& Console() {
    static ConsolePlatform console;
    return console;
}
Platform* installed = nullptr;
}  // namespace

Platform& Current() { return installed ? *installed : Console(); }

void FitPicture(int width, int height, int area, int& shownWidth, int& shownHeight) {
    const int longer = std::max(1, std::max(width, height));
    if (longer <= area) {
        const int scale = std::min(8, area / longer);
        shownWidth = width * scale;
        shownHeight = height * scale;
    } else {
        shownWidth = std::max(1, width * area / longer);
        shownHeight = std::max(1, height * area / longer);
    }
}

std::string WithExtension(const std::string& path, const std::vector<std::string>& extensions) {
    const auto endsIn = [&](const std::string& ext) {
        if (path.size() < ext.size()) return false;
        for (std::size_t k = 0; k < ext.size(); ++k)
            if (std::tolower(static_cast<unsigned char>(path[path.size() - ext.size() + k])) !=
                std::tolower(static_cast<unsigned char>(ext[k])))
                return false;
        return true;
    };
    for (const std::string& ext : extensions)
        if (endsIn(ext)) return path;
    return extensions.empty() || path.empty() ? path : path + extensions.front();
}

void Install(Platform* platform) { installed = platform; }

}  // namespace platform
