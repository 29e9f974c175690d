#include "app/dialogs.h"

#include "location/level_files.h"
#include "output/level_save.h"
#include "scene/level.h"

std::string AskWhereTo(const std::string& title, const std::string& name, const platform::FileFilter& filter,
                       const std::vector<std::string>& extensions) {
    platform::SaveRequest request{DirectoryOf(TheLevelFiles().GrfPath), name, title, filter, extensions,
                                  [](const std::string& path) { return SaveRefusal(path); }};
    return platform::Current().AskSaveFile(request);
}

void Tell(const std::string& text, const std::string& caption, platform::Icon icon) {
    platform::Current().ShowMessageBox(platform::Owner::MainWindow, text, caption, platform::Buttons::Ok, icon);
}
