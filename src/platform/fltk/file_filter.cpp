#include "platform/fltk/file_filter.h"

namespace platform::fltk {

std::string FltkFilter(const FileFilter& filter) {
    std::string pattern;
    int count = 1;
    for (char c : filter.pattern) {
        if (c == ';') {
            pattern += ',';
            ++count;
        } else {
            pattern += c;
        }
    }
    if (count > 1) pattern = "{" + pattern + "}";
    return filter.description + " (" + pattern + ")";
}

}  // namespace platform::fltk
