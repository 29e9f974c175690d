// The window's resources: the menu bar (resource 105), the command keys
// and the info dialog's layout (resource 102).
#pragma once

#include <array>

#include "platform/platform.h"

// Command ids: the menu's items, and the commands only keys give.
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
    // list and the bookmarks, placing by numbers.
    kCmdSaveAs = 40101,
    kCmdExportGltf = 40102,
    kCmdExportMap = 40103,
    kCmdUndo = 40111,
    kCmdRedo = 40112,
    kCmdPlacement = 40113,
    kCmdObjects = 40121,
    kCmdAddBookmark = 40122,
    kCmdBookmarks = 40123,
    kCmdTextures = 40124,
    // Keys only.
    kCmdDelete = 40201,
    kCmdFlyingMode = 40202,
    kCmdModelReport = 40203,
    kCmdValueReport = 40204,
    kCmdLighting = 40205,
    kCmdBumpMode = 40206,
    kCmdRotatingSun = 40207,
    kCmdObjectPositions = 40208,
    kCmdUpdateTerrain = 40209,
    kCmdPlayerStart = 40210,
    kCmdSaveTexturePng = 40211,  // the texture picture's button
};

// A key that gives a command: its virtual-key code, whether Ctrl is held.
struct KeyBinding {
    int key;
    bool control;
    int command;
};
// With Ctrl held a binding that asks for Ctrl comes first (and its key is
// then a command, never a movement key held); other keys give their plain
// command either way.
inline constexpr std::array<KeyBinding, 15> kKeyBindings = {{
    {platform::vk::kDelete, false, kCmdDelete},
    {'O', false, kCmdObjects},
    {platform::vk::kEscape, false, kCmdFlyingMode},
    {platform::vk::kF1, false, kCmdOnscreenHelp},
    {'B', false, kCmdModelReport},
    {'V', false, kCmdValueReport},
    {'L', false, kCmdLighting},
    {'U', false, kCmdBumpMode},
    {'I', false, kCmdRotatingSun},
    {'P', false, kCmdObjectPositions},
    {'T', false, kCmdUpdateTerrain},
    {platform::vk::kHome, false, kCmdPlayerStart},
    {'Z', true, kCmdUndo},
    {'Y', true, kCmdRedo},
    {'P', true, kCmdPlacement},
}};

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
