// The small questions and answers every viewer tool puts to the user over
// the main window.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

// The save dialog in the level's folder; never a file of the level itself.
// Empty when cancelled.
std::string AskWhereTo(const std::string& title, const std::string& name, const platform::FileFilter& filter,
                       const std::vector<std::string>& extensions);

// A box with OK over the main window.
void Tell(const std::string& text, const std::string& caption, platform::Icon icon = platform::Icon::Information);
