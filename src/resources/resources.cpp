#include "resources/resources.h"

namespace {

platform::MenuItem Item(const char* label, int id, bool checkable = false, bool checked = false) {
    platform::MenuItem m;
    m.label = label;
    m.id = id;
    m.checkable = checkable;
    m.checked = checked;
    return m;
}

platform::MenuItem Separator() {
    platform::MenuItem m;
    m.separator = true;
    return m;
}

platform::MenuItem Submenu(const char* label, std::vector<platform::MenuItem> children) {
    platform::MenuItem m;
    m.label = label;
    m.children = std::move(children);
    return m;
}

}  // namespace

const std::vector<platform::MenuItem>& MainMenu() {
    static const std::vector<platform::MenuItem> menu = {
        Submenu("&File", {Item("&Save level as...", kCmdSaveAs), Item("Export &glTF...", kCmdExportGltf),
                          Item("Export overview &map...", kCmdExportMap), Separator(), Item("Exit", kCmdExit)}),
        Submenu("&Edit", {Item("&Undo  Ctrl+Z", kCmdUndo), Item("&Redo  Ctrl+Y", kCmdRedo), Separator(),
                          Item("&Placement...  Ctrl+P", kCmdPlacement)}),
        Submenu("&View", {Item("&Objects...  O", kCmdObjects), Item("&Textures...", kCmdTextures),
                          Item("&Add bookmark...", kCmdAddBookmark),
                          Item("&Bookmarks...", kCmdBookmarks), Separator(),
                          Item("&Player start  Home", kCmdPlayerStart)}),
        Submenu("&Options",
                {
                    Submenu("&Terrain", {Item("Draw &Outline", kCmdDrawOutline, true), Separator(),
                                         Item("Freeze Update", kCmdFreezeUpdate, true)}),
                    Submenu("Renderer",
                            {Item("Fog", kCmdFog, true, true), Item("Terrain Shadows", kCmdTerrainShadows, true, true),
                             Item("Object Shadows", kCmdObjectShadows, true), Separator(),
                             Item("Freeze &Frustrum", kCmdFreezeFrustum, true)}),
                }),
        Submenu("Help", {Item("Onscreen Help", kCmdOnscreenHelp, true)}),
    };
    return menu;
}
