// The window's resources: the menu bar (resource 105) and the info dialog's
// layout (resource 102).
#pragma once

#include <array>

#include "platform/platform.h"

// Menu command ids.
enum MenuCommand : int {
    kCmdFreezeUpdate = 40001,
    kCmdExit = 40002,
    kCmdDrawOutline = 40003,
    kCmdFreezeFrustum = 40004,
    kCmdFog = 40005,
    kCmdTerrainShadows = 40006,
    kCmdObjectShadows = 40008,
    kCmdOnscreenHelp = 40009,
    // Beyond the game's own viewer: saving and exporting, undo, the object
    // list and the bookmarks.
    kCmdSaveAs = 40101,
    kCmdExportGltf = 40102,
    kCmdExportMap = 40103,
    kCmdUndo = 40111,
    kCmdRedo = 40112,
    kCmdObjects = 40121,
    kCmdAddBookmark = 40122,
    kCmdBookmarks = 40123,
};

// The menu of the main window, with the initial check marks.
const std::vector<platform::MenuItem>& MainMenu();

// The info dialog, in dialog units.
struct InfoDialogLayout {
    const char* caption = "Dialog";
    int width = 380, height = 238;
    int closeId = 1, closeX = 323, closeY = 217, closeWidth = 50, closeHeight = 14;
    int textId = 1003, textX = 7, textY = 7, textWidth = 366, textHeight = 191;
};
constexpr InfoDialogLayout kInfoDialog{};
